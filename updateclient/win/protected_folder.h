// Agent folders only administrators can change: made with, or taken back to, a protected
// descriptor (owner the Administrators; SYSTEM and Administrators full control, Users read and
// execute, all passed on to what is created inside; nothing taken from the folder above), and the
// check of a file before the library starts, copies over or replaces it. Narrow (ANSI) paths.
#pragma once

#include <windows.h>

#include <string>

#include "updateclient/core/folder_security.h"

namespace qv::updateclient {

// Secures the folder |path| (its parent must exist) without tracing: creates it with the
// protected descriptor when it does not exist; when it does, keeps it if only administrators can
// change it and it takes nothing from above, else sets the owner and the protected DACL anew
// (which needs the caller's right to take ownership or restore files; both are enabled on the
// calling thread for the call). A reparse point, a file, or a folder that cannot be read, changed
// or made admin-only is refused. The folder is held open without sharing deletion meanwhile, so
// that it cannot be renamed or swapped for a link between the check and the change.
FolderOutcome SecureAgentFolder(const std::string& path);

// SecureAgentFolder, with its trace line ("Agent folder taken back: ...", "Agent folder refused:
// ..."). True when the folder exists now with an admin-only protected descriptor.
bool EnsureProtectedFolder(const std::string& path);

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
