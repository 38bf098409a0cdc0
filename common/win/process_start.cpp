// Program starts over CreateProcessW, and the shell's "runas" for an unelevated caller only.
#include "common/win/process_start.h"

#include <shellapi.h>

#include "common/core/command_line.h"

// mingw-w64's winerror.h lacks it: CreateProcessW's answer for a program whose manifest asks for
// more rights than the caller's token has.
#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740L
#endif

namespace qv {

namespace {

// The token's elevation, when the system tells it.
bool QueryElevation(bool& elevated) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  UniqueHandle owned(token);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size)) return false;
  elevated = elevation.TokenIsElevated != 0;
  return true;
}

ProcessStart StartElevatedThroughShell(const std::wstring& application, const std::wstring& arguments,
                                       const std::wstring& folder) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
  info.lpVerb = L"runas";
  info.lpFile = application.c_str();
  info.lpParameters = arguments.c_str();
  info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
  info.nShow = SW_SHOWNORMAL;
  ProcessStart start;
  start.started = ::ShellExecuteExW(&info) != FALSE;
  start.error = start.started ? ERROR_SUCCESS : ::GetLastError();
  start.process.reset(info.hProcess);
  return start;
}

}  // namespace

ProcessStart StartProcess(const std::wstring& application, const std::wstring& arguments, const std::wstring& folder) {
  ProcessStart start;
  std::wstring commandLine = QuotedCommandLine(application, arguments);  // CreateProcessW may write to it
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  if (::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    ::CloseHandle(info.hThread);
    start.started = true;
    start.process.reset(info.hProcess);
    return start;
  }
  start.error = ::GetLastError();
  // The shell only for a token known to lack elevation: one that cannot be read may be elevated.
  bool elevated = true;
  if (start.error == ERROR_ELEVATION_REQUIRED && QueryElevation(elevated) && !elevated) {
    return StartElevatedThroughShell(application, arguments, folder);
  }
  return start;
}

bool WaitForExit(HANDLE process, DWORD milliseconds, DWORD& exitCode) {
  if (!process || ::WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0) return false;
  return ::GetExitCodeProcess(process, &exitCode) != FALSE;
}

}  // namespace qv
