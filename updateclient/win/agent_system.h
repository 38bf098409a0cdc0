// The system as the agent installation sees it: processes, the common data folder, files and
// their version resources, named mutexes and program starts. Narrow (ANSI) texts throughout.
#pragma once

#include <windows.h>

#include <string>

namespace qv::updateclient {

// The id of the first process of the caller's own session whose image name ends with
// |imageName| (compared without regard to case), else 0. Every such process of the snapshot is
// compared, also those the caller may not open, so that an agent running with other rights is
// still seen; another user's session is never searched.
DWORD FindProcessByName(const std::string& imageName);

// Ends the process with its own exit code. Id 0 ends nothing and counts as done. With
// |expectedImage|, the process opened must run an image whose name ends with it (the id may have
// been given to another program since it was found); otherwise nothing is ended.
bool KillProcessById(DWORD processId, const std::string& expectedImage = std::string());

// The common application data folder with a trailing backslash, else the Program Files folder
// from the registry.
std::string GetCommonDataFolder();

// The file's FileVersion text of its first translation, blanks removed and commas turned into
// dots; empty without a file, a version resource or a translation table.
std::string GetFileVersionText(const std::string& path);

// True when a mutex of that name exists (the handle opened to find out is closed again).
bool IsMutexPresent(const std::string& name);

bool IsExistingFile(const std::string& path);

// Starts the program |path| (a full path) as itself in |folder|, normal window, with no arguments:
// its command line is the quoted path. True when it was started; otherwise |error| says why.
bool StartProgramIn(const std::string& path, const std::string& folder, DWORD& error);

}  // namespace qv::updateclient
