// Where a path really leads. Folders the user can change may hold junctions, symbolic links and
// hard links planted by any program of the user; these checks open each step as itself, never
// through a link, so that a link to a file is seen as one (it looks like the file otherwise).
#pragma once

#include <windows.h>

#include <string>

namespace qv {

enum class PathStep { Missing, Plain, Link };

// What |path| names when opened as itself: nothing yet, a plain file or folder, or a link. A
// reparse point (junction, symbolic link) is a link, and so is a file (not a folder) with more
// than one hard link: writing to it, or clearing its attributes, changes the other name's file.
PathStep InspectPathStep(const std::wstring& path);

// The path by which the system reaches an open file or folder now ("C:\x", never "\\?\C:\x");
// empty when unknown.
std::wstring FinalPathOf(HANDLE handle);

// Two path texts that name the same place as Windows compares names (letter case aside).
bool IsSamePathText(const std::wstring& a, const std::wstring& b);

// The link rule above for an open file or folder.
bool IsLinkOrSharedFile(const BY_HANDLE_FILE_INFORMATION& info);

// True when the open |handle| is the file that |path| names in its folder as that folder is
// reached now: a folder on the way that was a link for a while, when the handle was opened or
// written through, shows as another final path. Links above the folder that are there now are
// followed alike on both sides (a walk of the steps finds those).
bool IsReachedAt(HANDLE handle, const std::wstring& path);

// Removes the open file |file| (opened with DELETE access) wherever it lies now, once every
// handle to it is closed. False when the system refuses.
bool DeleteOpenFile(HANDLE file);

}  // namespace qv
