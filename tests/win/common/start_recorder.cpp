// Helper program of the start tests: records how it was started and ends with a chosen code.
//   start_recorder <record file> [<exit code> [<milliseconds to stay>]]
// Writes two lines in UTF-8 to the record file: its command line as GetCommandLineW gives it, and
// its current folder. Then it stays that long and exits with the code (0 when none is given). Exit
// code 99 when the record cannot be written, or none is named.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr, nullptr);
  return narrow;
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH] = L"";
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, folder);
  return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring(L"?");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 99;
  const std::wstring record = argv[1];
  const std::string text = Utf8(::GetCommandLineW()) + "\n" + Utf8(CurrentFolder()) + "\n";
  HANDLE file = ::CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 99;
  DWORD written = 0;
  const bool complete = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                        written == text.size();
  ::CloseHandle(file);
  if (!complete) return 99;
  if (argc > 3) ::Sleep(static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  return argc > 2 ? static_cast<int>(std::wcstoul(argv[2], nullptr, 10)) : 0;
}
