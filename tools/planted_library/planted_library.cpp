// A library that a program of the user plants beside the elevated program under the name of a
// system library that Windows does not protect (wininet.dll, version.dll), for the end-to-end
// runs. If it is ever loaded, it appends the loading program's path as one line to the file named
// by QV_PLANTED_MARKER. It exports the functions the deliverables call in those libraries, each
// failing as the system's would without a connection or version information. Never shipped.
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

DWORD Fail() {
  ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
  return 0;
}

}  // namespace

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD) { return Fail(); }
DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD) { return Fail(); }
BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) { return Fail(); }
BOOL WINAPI GetFileVersionInfoA(LPCSTR, DWORD, DWORD, LPVOID) { return Fail(); }
BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) { return Fail(); }
BOOL WINAPI VerQueryValueA(LPCVOID, LPCSTR, LPVOID*, PUINT) { return Fail(); }

BOOL WINAPI InternetCheckConnectionW(LPCWSTR, DWORD, DWORD) { return Fail(); }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) RecordLoad();
  return TRUE;
}

}  // extern "C"
