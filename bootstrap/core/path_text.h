// Windows path texts handled without touching the file system: folder parts, drive roots, and
// whether a file name taken from a configuration file stays inside the folder it is meant for.
#pragma once

#include <functional>
#include <string>

#include "common/core/path_steps.h"

namespace qv::bootstrap {

// The path cut before its last backslash (no trailing backslash); empty when it has none.
std::wstring FolderOfPath(const std::wstring& path);

// A program's full path cut into its folder (with its final backslash; empty when the path has
// none) and its file name.
struct ProgramPath {
  std::wstring folder;
  std::wstring name;
};
ProgramPath SplitProgramPath(const std::wstring& path);

// "E:\" for the letter E.
std::wstring FormatDriveRoot(wchar_t driveLetter);

// True for a relative file name that stays inside the folder it is appended to, such as
// "PX_Bootstrap.exe" or "tools\setup.msi". False for an empty name, a rooted or UNC name
// ("\x", "/x"), any name with a colon (a drive as in "C:x", or a stream), and any name with a
// part that climbs out of the folder ("..", and the dot-and-blank spellings that Windows reads
// as ".."), and any name with a part that Windows opens as a device ("nul.msi", "tools\COM1").
// Both slashes count as separators.
bool IsSafePackageFileName(const std::wstring& name);

// The one spelling of the file a contained name opens: Windows takes "Tools/Setup.MSI. ",
// "tools.\\.\\setup.msi" and "TOOLS\\setup.msi" for one file, and so does this key (ASCII
// letters upper case, one backslash between parts, no "." parts, no final dot of a folder part,
// no final dots or blanks of the file part).
std::wstring SameFileKey(const std::wstring& name);

// The link walk is shared with the update library.
using qv::IsPathFreeOfLinks;
using qv::IsPathFreeOfLinksBelow;

}  // namespace qv::bootstrap
