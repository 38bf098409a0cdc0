// Programs started as themselves: CreateProcessW with the full path of the program, a command line
// built from it in one place and an explicit working folder. No start goes through the shell's file
// associations, where the user's own class registry may redirect a start.
#pragma once

#include <windows.h>

#include <string>

#include "common/win/handles.h"

namespace qv {

// How a start went: started (with the process when the system gave one), or not, with the error.
struct ProcessStart {
  bool started = false;
  DWORD error = ERROR_SUCCESS;
  UniqueProcessHandle process;
};

// Starts `application` (a full path) with `arguments` in `folder`, shown normally. The command line
// is the quoted path, a blank and the arguments, as the shell's start gave it. Where the program
// asks for rights that a caller without elevation lacks (ERROR_ELEVATION_REQUIRED), and only then,
// the start goes through the shell's "runas" verb on the same full path: such a caller has nothing
// a hijacked association could gain. An elevated caller never takes that way.
ProcessStart StartProcess(const std::wstring& application, const std::wstring& arguments, const std::wstring& folder);

// Waits at most `milliseconds` for `process` to end; true with its exit code when it did.
bool WaitForExit(HANDLE process, DWORD milliseconds, DWORD& exitCode);

}  // namespace qv
