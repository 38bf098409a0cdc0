// The running program's own path, as the system gives it.
#pragma once

#include <windows.h>

#include <string>

// The full path of the process's own image; empty when it does not fit.
inline std::wstring OwnProgramPath() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  return length > 0 && length < MAX_PATH * 2 ? std::wstring(path, length) : std::wstring();
}
