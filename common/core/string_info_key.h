// The key of one string of a version resource's string table, as the system's version reader
// takes it: "\\StringFileInfo\\<language><code page>\\<name>", each half as four hex digits.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// `translation` holds the language in its low half and the code page in its high half, as the
// resource's translation table gives them.
inline std::wstring FormatStringInfoKey(uint32_t translation, const std::wstring& name) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring key = L"\\StringFileInfo\\";
  const uint16_t halves[2] = {static_cast<uint16_t>(translation & 0xFFFF), static_cast<uint16_t>(translation >> 16)};
  for (uint16_t half : halves) {
    for (int shift = 12; shift >= 0; shift -= 4) key += kHex[(half >> shift) & 0xF];
  }
  key += L'\\';
  key += name;
  return key;
}

}  // namespace qv
