// The decimal digits of a number without the runtime's printf family behind std::to_wstring (some
// 25 KB in a binary), for the program and the update library alike.
#pragma once

#include <string>

namespace qv {

// The digits of |value|, with a minus sign when negative: what std::to_wstring writes.
inline std::wstring DecimalText(long long value) {
  // Works on the magnitude as unsigned so that the most negative value needs no special case.
  unsigned long long magnitude =
      value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  wchar_t digits[24];
  wchar_t* start = digits + 24;
  do {
    *--start = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--start = L'-';
  return std::wstring(start, digits + 24);
}

}  // namespace qv
