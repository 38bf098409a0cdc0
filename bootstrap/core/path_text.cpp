// Path texts and the containment test for configured file names.
#include "bootstrap/core/path_text.h"

namespace qv::bootstrap {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// A part made only of dots and blanks with at least two dots: Windows drops trailing dots and
// blanks from a part, so such a part can resolve to the parent folder. Nothing sensible is
// lost by refusing them all.
bool IsParentPart(const std::wstring& part) {
  int dots = 0;
  for (wchar_t c : part) {
    if (c == L'.') {
      ++dots;
    } else if (c != L' ') {
      return false;
    }
  }
  return dots >= 2;
}

}  // namespace

std::wstring FolderOfPath(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FormatDriveRoot(wchar_t driveLetter) { return std::wstring(1, driveLetter) + L":\\"; }

bool IsSafePackageFileName(const std::wstring& name) {
  if (name.empty() || IsSeparator(name.front())) return false;
  if (name.find(L':') != std::wstring::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    if (IsParentPart(name.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace qv::bootstrap
