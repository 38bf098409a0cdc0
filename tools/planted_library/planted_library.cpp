// A library that a program of the user plants beside the elevated program under the name of a
// system library that Windows does not protect (wininet.dll, version.dll), for the end-to-end
// runs; planted_load.cpp records every load of it. It exports the functions the deliverables call
// in those libraries, each failing as the system's would without a connection or version
// information. Never shipped.
#include <windows.h>

namespace {

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

}  // extern "C"
