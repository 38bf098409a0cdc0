// Helpers shared by the Wine tests of the agent test material: starting a program with a command
// line and working folder, waiting for its end or for a condition, scratch paths, text conversions.
#pragma once

#include <windows.h>

#include <string>

#include "common/win/handles.h"

namespace qv::test {

constexpr DWORD kExitWaitMs = 15000;

// Wide text as UTF-8, the encoding of the logs and JSON lines.
inline std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

// The temp folder, with its trailing backslash.
inline std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1] = L"";
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  return length > 0 && length <= MAX_PATH ? std::wstring(temp, length) : L"C:\\";
}

// A path in the temp folder of this test run alone: `name`, a blank and the process id.
inline std::wstring ScratchPath(const std::wstring& name) {
  return TempFolder() + name + L" " + std::to_wstring(GetCurrentProcessId());
}

// Wide text that holds only ASCII, for messages.
inline std::string Narrow(const std::wstring& ascii) {
  return std::string(ascii.begin(), ascii.end());
}

// Polls `done` every 50 ms for at most `ms`.
template <typename F>
inline bool WaitFor(F done, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

// The exit code once the process has ended, or 0xFFFFFFFF when it is still running after kExitWaitMs.
inline DWORD ExitCodeAfterExit(HANDLE process) {
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process, kExitWaitMs) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  return code;
}

// Starts `exe` with its quoted path and `arguments` as command line, in `workFolder` (this
// process's own when empty). No handle when it could not start.
inline qv::UniqueHandle Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& workFolder) {
  std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workFolder.empty() ? nullptr : workFolder.c_str(), &startup, &info)) {
    return qv::UniqueHandle();
  }
  qv::UniqueHandle thread(info.hThread);
  return qv::UniqueHandle(info.hProcess);
}

}  // namespace qv::test
