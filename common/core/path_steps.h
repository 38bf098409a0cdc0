// The steps of a path that must not be links, walked from a folder down to a file. The test for
// one step (a junction, a symbolic link, a file with a second name) is the caller's; this walks
// the texts, so that which steps are asked, and in which order, is tested natively.
#pragma once

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

namespace qv {

// True when no step from |folder| down to |folder|\|name| is a link: neither the folder itself,
// nor a sub-folder that |name| passes, nor the file. |isLink|(path) answers for one full path;
// it is asked from the folder downwards and no further than the first link. An empty |name|
// asks about the folder alone.
template <typename IsLink>
bool IsPathFreeOfLinks(const std::wstring& folder, const std::wstring& name, const IsLink& isLink) {
  auto endsInSeparator = [](const std::wstring& text) {
    return !text.empty() && (text.back() == L'\\' || text.back() == L'/');
  };
  std::wstring path = folder;
  // "C:\x\" is asked as "C:\x"; a drive root keeps its backslash.
  while (endsInSeparator(path) && path.size() > 1 && path[path.size() - 2] != L':') path.pop_back();
  if (isLink(path)) return false;
  size_t start = 0;
  while (start < name.size()) {
    size_t end = name.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = name.size();
    if (end > start) {
      if (!endsInSeparator(path)) path += L'\\';
      path.append(name, start, end - start);
      if (isLink(path)) return false;
    }
    start = end + 1;
  }
  return true;
}

namespace path_steps_detail {

inline bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// |root| without the separators it ends in, except the one of a drive root ("C:\\").
inline std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != L':') path.pop_back();
  return path;
}

}  // namespace path_steps_detail

// As above, and when |folder| lies inside |root| (or is it; letter case aside), every folder from
// |root| down is asked as well: a link in any parent folder below the root (the user's profile,
// the agents' root) carries the path elsewhere just as one in the last folder does. Folders above
// |root| (the system's own) are not asked, nor is anything of a |folder| outside it.
namespace path_steps_detail {

// Whether |folder| is |base| (without trailing separators) or lies below it, letter case aside.
inline bool IsAtOrBelow(const std::wstring& base, const std::wstring& folder) {
  return !base.empty() && folder.size() >= base.size() &&
         std::equal(base.begin(), base.end(), folder.begin(),
                    [](wchar_t a, wchar_t b) { return std::towupper(a) == std::towupper(b); }) &&
         (folder.size() == base.size() || IsSeparator(folder[base.size()]) || IsSeparator(base.back()));
}

}  // namespace path_steps_detail

template <typename IsLink>
bool IsPathFreeOfLinksBelow(const std::wstring& root, const std::wstring& folder, const std::wstring& name,
                            const IsLink& isLink) {
  using path_steps_detail::IsSeparator;
  const std::wstring base = path_steps_detail::WithoutTrailingSeparators(root);
  if (!path_steps_detail::IsAtOrBelow(base, folder)) return IsPathFreeOfLinks(folder, name, isLink);
  // The steps from the root to the folder become the first steps of the name.
  std::wstring below = folder.substr(base.size());
  while (!below.empty() && IsSeparator(below.front())) below.erase(0, 1);
  if (!below.empty() && !name.empty()) below += L'\\';
  return IsPathFreeOfLinks(base, below + name, isLink);
}

// The folders from |root| down to |folder|, as full paths in that order: the root first, |folder|
// last, none with a trailing separator (but a drive root's). Only |folder| when it does not lie
// below |root|.
inline std::vector<std::wstring> FolderStepsBelow(const std::wstring& root, const std::wstring& folder) {
  using path_steps_detail::IsSeparator;
  const std::wstring base = path_steps_detail::WithoutTrailingSeparators(root);
  const std::wstring last = path_steps_detail::WithoutTrailingSeparators(folder);
  if (!path_steps_detail::IsAtOrBelow(base, last)) return {last};
  std::vector<std::wstring> steps{base};
  for (size_t at = base.size() + 1; at <= last.size(); ++at) {
    if (at == last.size() || IsSeparator(last[at])) {
      if (!IsSeparator(last[at - 1])) steps.push_back(last.substr(0, at));
    }
  }
  return steps;
}

}  // namespace qv
