// Windows path texts handled without touching the file system: folder parts, drive roots, and
// whether a file name taken from a configuration file stays inside the folder it is meant for.
#pragma once

#include <functional>
#include <string>

namespace qv::bootstrap {

// The path cut before its last backslash (no trailing backslash); empty when it has none.
std::wstring FolderOfPath(const std::wstring& path);

// "E:\" for the letter E.
std::wstring FormatDriveRoot(wchar_t driveLetter);

// True for a relative file name that stays inside the folder it is appended to, such as
// "PX_Bootstrap.exe" or "tools\setup.msi". False for an empty name, a rooted or UNC name
// ("\x", "/x"), any name with a colon (a drive as in "C:x", or a stream), and any name with a
// part that climbs out of the folder ("..", and the dot-and-blank spellings that Windows reads
// as ".."), and any name with a part that Windows opens as a device ("nul.msi", "tools\COM1").
// Both slashes count as separators.
bool IsSafePackageFileName(const std::wstring& name);

// True when no step from |folder| down to |folder|\|name| is a link: neither the folder itself,
// nor a sub-folder that |name| passes, nor the file. |isLink| answers for one full path; it is
// asked from the folder downwards and no further than the first link. An empty |name| asks
// about the folder alone.
bool IsPathFreeOfLinks(const std::wstring& folder, const std::wstring& name,
                       const std::function<bool(const std::wstring& path)>& isLink);

}  // namespace qv::bootstrap
