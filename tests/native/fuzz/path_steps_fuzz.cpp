// libFuzzer target of the link walk along a path and of the folder steps held below a root, from
// a root the system gives down to a file whose name came from outside. (That folder and file name
// of a path make the path again is checked by the configuration lists' target.)
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "common/core/path_steps.h"
#include "tests/native/fuzz/fuzz_input.h"

using qv::fuzz::Check;
using qv::fuzz::Shown;

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A path as the file system takes it: either slash, runs of them as one, none at the end, and
// letter case aside.
std::wstring Normal(const std::wstring& path) {
  std::wstring normal;
  for (wchar_t c : path) {
    if (IsSeparator(c)) {
      if (normal.empty() || normal.back() != L'\\') normal += L'\\';
    } else {
      normal += static_cast<wchar_t>(std::towupper(c));
    }
  }
  if (normal.size() > 1 && normal.back() == L'\\') normal.pop_back();
  return normal;
}

// The normal paths of every folder from |top| down to top\rest, one per part of |rest|.
std::vector<std::wstring> StepsFrom(const std::wstring& top, const std::wstring& rest) {
  std::vector<std::wstring> steps{Normal(top)};
  std::wstring path = top;
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = rest.size();
    if (end > start) {
      path += L'\\';
      path.append(rest, start, end - start);
      steps.push_back(Normal(path));
    }
    start = end + 1;
  }
  return steps;
}

// The root as the walk starts from it: without the separators that end it, but a drive root's.
std::wstring BaseOf(const std::wstring& root) {
  std::wstring base = root;
  while (base.size() > 1 && IsSeparator(base.back()) && base[base.size() - 2] != L':') base.pop_back();
  return base;
}

// Whether |folder| is the root or lies below it, by their texts: the root's base, letter case
// aside, then the folder's end or a separator (a base that ends in one needs none).
bool IsBelow(const std::wstring& base, const std::wstring& folder) {
  if (base.empty() || folder.size() < base.size()) return false;
  for (size_t i = 0; i < base.size(); ++i) {
    if (std::towupper(base[i]) != std::towupper(folder[i])) return false;
  }
  return folder.size() == base.size() || IsSeparator(folder[base.size()]) || IsSeparator(base.back());
}

// Asks a walk with the steps numbered in |linkBits| as links, and checks its answer and questions
// against the steps that must be asked.
template <typename Walk>
void CheckWalk(const std::vector<std::wstring>& steps, uint32_t linkBits, const Walk& walk, const std::string& shown) {
  std::set<std::wstring> links;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (linkBits >> (i % 32) & 1u) links.insert(steps[i]);
  }
  std::vector<std::wstring> asked;
  const bool free = walk([&](const std::wstring& path) {
    asked.push_back(Normal(path));
    return links.count(asked.back()) > 0;
  });
  const auto firstLink = std::find_if(steps.begin(), steps.end(), [&links](const std::wstring& s) { return links.count(s) > 0; });
  Check(free == (firstLink == steps.end()), "a path is free exactly when none of its steps is a link", shown);
  // From the top down, each step once (repeated parts such as "." are asked again), up to the first link.
  const size_t expected = firstLink == steps.end() ? steps.size() : static_cast<size_t>(firstLink - steps.begin()) + 1;
  Check(asked.size() == expected, "every step is asked up to the first link, and no more", shown);
  for (size_t i = 0; i < asked.size(); ++i) {
    if (asked[i] != steps[i]) qv::fuzz::Fail("the steps are asked from the top down, none above the root", shown + " " + Shown(asked[i]));
  }
}

void CheckSteps(const std::wstring& root, const std::wstring& folder, const std::wstring& name, uint32_t bits) {
  const std::string shown = Shown({root, folder, name});
  CheckWalk(StepsFrom(folder, name), bits, [&](const auto& isLink) { return qv::IsPathFreeOfLinks(folder, name, isLink); },
            shown);
  const std::wstring base = BaseOf(root);
  const bool below = IsBelow(base, folder);
  const std::wstring tail = below ? folder.substr(std::min(folder.size(), base.size())) : std::wstring();
  std::vector<std::wstring> steps = below ? StepsFrom(base, tail + L"\\" + name) : StepsFrom(folder, name);
  CheckWalk(steps, bits >> 3, [&](const auto& isLink) { return qv::IsPathFreeOfLinksBelow(root, folder, name, isLink); },
            shown);
  // The folders held below the root are the walk's folders, the name aside.
  const std::vector<std::wstring> held = qv::FolderStepsBelow(root, folder);
  std::vector<std::wstring> heldNormal;
  for (const std::wstring& step : held) {
    Check(step.size() <= 1 || !IsSeparator(step.back()) || step[step.size() - 2] == L':',
          "a held folder has no separator at its end", shown);
    heldNormal.push_back(Normal(step));
  }
  heldNormal.erase(std::unique(heldNormal.begin(), heldNormal.end()), heldNormal.end());
  std::vector<std::wstring> folderSteps = below ? StepsFrom(base, tail) : std::vector<std::wstring>{Normal(folder)};
  folderSteps.erase(std::unique(folderSteps.begin(), folderSteps.end()), folderSteps.end());
  Check(heldNormal == folderSteps, "the folders held are the folders from the root down", shown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  const std::wstring folder = input.Wide();
  const std::wstring name = input.Wide();
  const uint32_t bits = input.Number();
  std::wstring root = input.Wide();
  // A root the system gives is most often a part of the folder itself: a number instead of a root
  // cuts the folder there.
  if (!root.empty() && root.size() < 5 && root.find_first_not_of(L"0123456789") == std::wstring::npos) {
    root = folder.substr(0, std::stoul(root) % (folder.size() + 1));
  }
  CheckSteps(root, folder, name, bits);
  return 0;
}
