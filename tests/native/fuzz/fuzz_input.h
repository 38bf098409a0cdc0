// What the fuzz targets share. Each target checks the properties its callers rely on, each named
// by the text of its Check. The input is fields separated by line feeds, so that seeds are
// readable text. A field is taken as narrow bytes, as a wide text (bytes below 0xF0 are the
// characters of the same code, 0xF0 and above start a character given by the next two bytes, so
// any UTF-16 unit is reachable), or as a number. A field past the end of the input is empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>

namespace qv::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

  bool AtEnd() const { return m_at >= m_size; }

  // The bytes up to the next line feed (or the end).
  std::string Narrow() {
    std::string field;
    while (m_at < m_size && m_data[m_at] != '\n') field += static_cast<char>(m_data[m_at++]);
    if (m_at < m_size) ++m_at;  // the line feed
    return field;
  }

  std::wstring Wide() { return WideOf(Narrow()); }

  // A decimal field as its number (modulo 2^32); any other field as its first four bytes, the
  // first the lowest.
  uint32_t Number() {
    const std::string field = Narrow();
    bool decimal = !field.empty();
    uint32_t value = 0;
    for (char c : field) {
      if (c < '0' || c > '9') decimal = false;
      value = value * 10u + static_cast<uint32_t>(c - '0');
    }
    if (decimal) return value;
    value = 0;
    for (size_t i = 0; i < field.size() && i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(field[i])) << (8 * i);
    return value;
  }

  // The rest of the input, all its fields, one wide text per field.
  template <typename Each>
  void EachWide(const Each& each) {
    while (!AtEnd()) each(Wide());
  }

  static std::wstring WideOf(const std::string& bytes) {
    std::wstring text;
    for (size_t i = 0; i < bytes.size(); ++i) {
      const auto b = static_cast<uint8_t>(bytes[i]);
      if (b < 0xF0) {
        text += static_cast<wchar_t>(b);
      } else if (i + 2 < bytes.size()) {
        text += static_cast<wchar_t>((static_cast<uint8_t>(bytes[i + 1]) << 8) | static_cast<uint8_t>(bytes[i + 2]));
        i += 2;
      }
    }
    return text;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

// Narrow bytes as the wide characters of the same codes, as a wide reader takes a narrow text.
inline std::wstring Widened(const std::string& bytes) {
  std::wstring wide;
  for (char c : bytes) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

// ASCII letters in one case, every other character as it is.
template <typename Text>
Text UpperAscii(Text text) {
  for (auto& c : text) c = c >= 'a' && c <= 'z' ? static_cast<typename Text::value_type>(c - 'a' + 'A') : c;
  return text;
}
template <typename Text>
Text LowerAscii(Text text) {
  for (auto& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<typename Text::value_type>(c - 'A' + 'a') : c;
  return text;
}

template <typename Text>
bool StartsWith(const Text& text, const Text& start) {
  return text.compare(0, start.size(), start) == 0;
}

// A blank as the readers of command lines and settings take it: a space or a tab.
inline bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// The text shown in a finding: printable ASCII as it is, anything else as \x{code}.
inline std::string Shown(const std::wstring& text) {
  std::string shown;
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      char code[16];
      std::snprintf(code, sizeof code, "\\x{%X}", static_cast<unsigned>(c));
      shown += code;
    }
  }
  return shown;
}

inline std::string Shown(const std::string& text) { return Shown(Widened(text)); }

// Texts side by side in a finding: "[a] [b] ...".
inline std::string Shown(std::initializer_list<std::wstring> texts) {
  std::string shown;
  for (const std::wstring& text : texts) shown += (shown.empty() ? "[" : " [") + Shown(text) + "]";
  return shown;
}

// A property that does not hold: says which, with the texts involved, and stops the run (libFuzzer
// saves the input as the finding).
[[noreturn]] inline void Fail(const char* property, const std::string& detail = std::string()) {
  std::fprintf(stderr, "property does not hold: %s%s%s\n", property, detail.empty() ? "" : ": ", detail.c_str());
  __builtin_trap();
}

// The texts involved are shown only when the property does not hold.
inline void Check(bool holds, const char* property, const std::string& detail = std::string()) {
  if (!holds) Fail(property, Shown(detail));
}

inline void Check(bool holds, const char* property, const std::wstring& detail) {
  if (!holds) Fail(property, Shown(detail));
}

}  // namespace qv::fuzz
