// Path texts, the containment test for configured file names, and the steps of a path that must
// not be links.
#include "bootstrap/core/path_text.h"

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

}  // namespace qv::bootstrap
