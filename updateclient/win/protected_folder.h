// Agent folders only administrators can change: made with, or taken back to, a protected
// descriptor (owner the Administrators; SYSTEM and Administrators full control, Users read and
// execute, all passed on to what is created inside; nothing taken from the folder above), and the
// check of a file before the library starts, copies over or replaces it. Narrow (ANSI) paths.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "updateclient/core/folder_security.h"

namespace qv::updateclient {

// Secures the folder |path| (its parent must exist) without tracing: creates it with the
// protected descriptor when it does not exist. When it does: one that anyone else may change is
// taken back (owner and protected DACL set anew) and then emptied, never following a link inside;
// one that only administrators can change keeps what it holds except every file or sub-folder, at
// any depth, that anyone else may change, which is removed (JudgeFolderEntry), and is taken back
// when it takes from above. Taking back needs the caller's right to take ownership or restore
// files; both are enabled on the calling thread for the call. A reparse point, a file, or a folder
// that cannot be read, changed, emptied or made admin-only is refused. The folder is held open
// without sharing deletion meanwhile, so that it cannot be renamed or swapped for a link between
// the check and the change. |removed|, when given, receives one trace line per entry removed.
FolderOutcome SecureAgentFolder(const std::string& path, std::vector<std::string>* removed = nullptr);

// SecureAgentFolder, with its trace lines (each entry removed, then "Agent folder taken back: ...",
// "Agent folder emptied and taken back: ...", "Agent folder refused: ..."). True when the folder
// exists now with an admin-only protected descriptor.
bool EnsureProtectedFolder(const std::string& path);

// Calls |visit| with every entry of |folder| (no final backslash) but "." and ".."; stops early
// when it returns false. False when the folder cannot be listed to its end or |visit| stopped.
bool ForEachFolderEntry(const std::string& folder, const std::function<bool(const WIN32_FIND_DATAA&)>& visit);

// Removes everything inside |folder| (no final backslash); a link inside is removed as itself,
// never followed. True when nothing is left inside.
bool EmptyFolder(const std::string& folder);

// True when only SYSTEM and the Administrators can change the open file |file| (owner and DACL
// read on the handle). False when they cannot be read.
bool IsAdministratorsOnlyFile(HANDLE file);

// The same for the file |path|, opened as itself: a reparse point or a folder is refused.
bool IsAdministratorsOnlyFile(const std::string& path);

// The owner and DACL of an open file or folder; false when they cannot be read.
bool ReadSecurityDescription(HANDLE object, SecurityDescription& description);

// The owner and DACL of the file or folder |path| itself (a link is not followed); an empty
// description (no owner, no DACL: admin-only by no decision) when they cannot be read.
SecurityDescription ReadSecurityDescription(const std::string& path);

}  // namespace qv::updateclient
