// Conversions between wide text and the system's ANSI code page (and from UTF-8), for files, server
// answers and the narrow libraries' buffers. Texts longer than an int can count, and texts that
// cannot be converted, convert to empty text.
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

// Text in |codePage| as wide text.
inline std::wstring FromCodePage(UINT codePage, const char* text, size_t size) {
  if (size == 0 || size > INT_MAX) return std::wstring();
  const int count = static_cast<int>(size);
  const int length = ::MultiByteToWideChar(codePage, 0, text, count, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(codePage, 0, text, count, &wide[0], length);
  return wide;
}

inline std::wstring FromAnsi(const char* text, size_t size) { return FromCodePage(CP_ACP, text, size); }

// UTF-8 text, e.g. a line of a server's answer.
inline std::wstring FromUtf8(const char* text, size_t size) { return FromCodePage(CP_UTF8, text, size); }

}  // namespace qv
