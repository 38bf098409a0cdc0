// Appends a stand-in program's invocation to its log (see invocation_log.h).
#include "tools/stub_pc_tool/invocation_log.h"

#include <windows.h>

#include "common/core/command_line.h"
#include "common/win/handles.h"

namespace qv {
namespace {

// The folder of the running executable, with its trailing separator.
std::wstring ProgramFolder() {
  wchar_t self[MAX_PATH * 2] = L"";
  const DWORD length = GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
  if (length == 0 || length >= ARRAYSIZE(self)) return L"";
  std::wstring path(self, length);
  path.erase(path.find_last_of(L"\\/") + 1);  // npos + 1 == 0: no folder part at all
  return path;
}

// The temp folder, with its trailing separator.
std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1] = L"";
  const DWORD length = GetTempPathW(ARRAYSIZE(temp), temp);
  if (length == 0 || length >= ARRAYSIZE(temp)) return L"";
  return std::wstring(temp, length);
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring CommandLineArguments(const wchar_t* commandLine) { return SkipProgramName(commandLine); }

std::wstring InvocationLogPath(const wchar_t* logVariable, const wchar_t* defaultName, LogFolder fallback) try {
  wchar_t value[MAX_PATH * 2] = L"";
  const DWORD length = GetEnvironmentVariableW(logVariable, value, ARRAYSIZE(value));
  if (length > 0 && length < ARRAYSIZE(value)) return value;
  const std::wstring folder = fallback == LogFolder::kTemp ? TempFolder() : ProgramFolder();
  return folder.empty() ? folder : folder + defaultName;
} catch (...) {  // out of memory
  return std::wstring();
}

bool AppendLogLine(const std::wstring& path, const std::wstring& line) try {
  if (path.empty()) return false;
  // FILE_APPEND_DATA alone makes every write land at the end, also with several writers at once.
  UniqueFileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const std::string bytes = ToUtf8(line) + "\r\n";
  DWORD written = 0;
  return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
} catch (...) {  // out of memory: nothing is logged, and the caller goes on
  return false;
}

bool AppendInvocationLine(const wchar_t* logVariable, const wchar_t* defaultName) try {
  return AppendLogLine(InvocationLogPath(logVariable, defaultName, LogFolder::kBesideProgram),
                       CommandLineArguments(GetCommandLineW()));
} catch (...) {
  return false;
}

}  // namespace qv
