// File helpers shared by the programs that run under Wine: their own folder, and whole-file
// reads and writes that never throw.
#pragma once

#include <windows.h>

#include <string>

#include "common/win/handles.h"

namespace qv::test {

// The folder of the running test program, with a trailing backslash.
inline std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = L"";
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// The whole file, or "<missing>" when it cannot be opened.
inline std::string ReadAll(const std::wstring& path) {
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!file) return "<missing>";
  std::string data(::GetFileSize(file.get(), nullptr), '\0');
  DWORD read = 0;
  ::ReadFile(file.get(), &data[0], static_cast<DWORD>(data.size()), &read, nullptr);
  data.resize(read);
  return data;
}

// Replaces the file's contents (a read-only file is made writable first).
inline void WriteAll(const std::wstring& path, const std::string& bytes) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace qv::test
