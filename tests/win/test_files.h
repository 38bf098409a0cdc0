// File helpers shared by the programs that run under Wine: their own folder, whole-file reads and
// writes that never throw, and the removal of a test's folder.
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

// Removes |folder| and everything below it; a link inside is removed as itself, never followed.
inline void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
  for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(search, &entry)) {
    const std::wstring name = entry.cFileName, path = folder + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    const DWORD attributes = entry.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      RemoveTree(path);
    } else if (!::DeleteFileW(path.c_str())) {
      ::RemoveDirectoryW(path.c_str());
    }
  }
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace qv::test
