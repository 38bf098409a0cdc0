// Appends a stand-in program's arguments to its invocation log (see invocation_log.h).
#include "tools/stub_pc_tool/invocation_log.h"

#include <windows.h>

#include "common/win/handles.h"

namespace qv {
namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

std::wstring LogPath(const wchar_t* logVariable, const wchar_t* defaultName) {
  wchar_t value[MAX_PATH * 2] = L"";
  const DWORD length = GetEnvironmentVariableW(logVariable, value, ARRAYSIZE(value));
  if (length > 0 && length < ARRAYSIZE(value)) return value;

  wchar_t self[MAX_PATH * 2] = L"";
  const DWORD selfLength = GetModuleFileNameW(nullptr, self, ARRAYSIZE(self));
  if (selfLength == 0 || selfLength >= ARRAYSIZE(self)) return L"";
  std::wstring path(self, selfLength);
  path.erase(path.find_last_of(L"\\/") + 1);  // npos + 1 == 0: no folder part at all
  return path + defaultName;
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

std::wstring CommandLineArguments(const wchar_t* commandLine) {
  if (commandLine == nullptr) return std::wstring();
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    // A quoted program name ends at the next quote; there are no escapes inside it.
    ++p;
    while (*p != L'\0' && *p != L'"') ++p;
    if (*p == L'"') ++p;
  }
  while (*p != L'\0' && !IsBlank(*p)) ++p;
  while (IsBlank(*p)) ++p;
  return p;
}

bool AppendInvocationLine(const wchar_t* logVariable, const wchar_t* defaultName) try {
  const std::wstring path = LogPath(logVariable, defaultName);
  if (path.empty()) return false;
  // FILE_APPEND_DATA alone makes every write land at the end, also with several writers at once.
  UniqueFileHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const std::string line = ToUtf8(CommandLineArguments(GetCommandLineW())) + "\r\n";
  DWORD written = 0;
  return WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
} catch (...) {  // out of memory: nothing is logged, and the caller goes on
  return false;
}

}  // namespace qv
