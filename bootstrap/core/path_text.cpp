// Path texts, the containment test for configured file names, and the steps of a path that must
// not be links.
#include "bootstrap/core/path_text.h"

#include "bootstrap/core/text_util.h"
#include "common/core/contained_name.h"

namespace qv::bootstrap {

std::wstring FolderOfPath(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

ProgramPath SplitProgramPath(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return {std::wstring(), path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::wstring FormatDriveRoot(wchar_t driveLetter) { return std::wstring(1, driveLetter) + L":\\"; }

bool IsSafePackageFileName(const std::wstring& name) { return IsContainedName(name); }

std::wstring SameFileKey(const std::wstring& name) {
  std::wstring key;
  for (size_t start = 0; start <= name.size();) {
    size_t end = name.find_first_of(L"\\/", start);
    const bool lastPart = end == std::wstring::npos;
    if (lastPart) end = name.size();
    // Windows drops one final dot of a folder part, and every final dot and blank of the file part.
    size_t last = end;
    if (lastPart) {
      while (last > start && (name[last - 1] == L'.' || name[last - 1] == L' ')) --last;
    } else if (last > start && name[last - 1] == L'.') {
      --last;
    }
    if (last > start) {
      if (!key.empty()) key += L'\\';
      for (size_t n = start; n < last; ++n) key += ToUpperAscii(name[n]);
    }
    start = end + 1;
  }
  return key;
}

}  // namespace qv::bootstrap
