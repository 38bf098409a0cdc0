// Conversions between wide text and the system's ANSI code page, for files and for the narrow
// libraries' buffers. Texts longer than an int can count convert to empty text.
#pragma once

#include <windows.h>

#include <climits>
#include <string>

namespace qv {

inline std::string ToAnsi(const std::wstring& text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const int count = static_cast<int>(text.size());
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), count, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), count, &narrow[0], length, nullptr, nullptr);
  return narrow;
}

inline std::wstring FromAnsi(const char* text, size_t size) {
  if (size == 0 || size > INT_MAX) return std::wstring();
  const int count = static_cast<int>(size);
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text, count, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text, count, &wide[0], length);
  return wide;
}

}  // namespace qv
