// Path texts, the containment test for configured file names, and the steps of a path that must
// not be links.
#include "bootstrap/core/path_text.h"

#include "common/core/contained_name.h"

namespace qv::bootstrap {

std::wstring FolderOfPath(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FormatDriveRoot(wchar_t driveLetter) { return std::wstring(1, driveLetter) + L":\\"; }

bool IsSafePackageFileName(const std::wstring& name) { return IsContainedName(name); }

bool IsPathFreeOfLinks(const std::wstring& folder, const std::wstring& name,
                       const std::function<bool(const std::wstring& path)>& isLink) {
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

}  // namespace qv::bootstrap
