// The record of a planted library's load, shared by every planted library of the end-to-end runs:
// once loaded into a process, it appends the loading program's path as one line to the file named
// by QV_PLANTED_MARKER. Never shipped.
#include <windows.h>

namespace {

void RecordLoad() {
  wchar_t marker[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"QV_PLANTED_MARKER", marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = ::CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  wchar_t program[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  char line[MAX_PATH * 3] = {};
  const int used = ::WideCharToMultiByte(CP_UTF8, 0, program, -1, line, sizeof(line) - 2, nullptr, nullptr);
  DWORD written = 0;
  if (used > 0) {
    line[used - 1] = '\n';
    ::WriteFile(file, line, static_cast<DWORD>(used), &written, nullptr);
  }
  ::CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordLoad();
  return TRUE;
}
