// Small text helpers of the bootstrap program: the runtime's decimal conversion, letter case for
// the fixed ASCII keywords of the configuration files and for drive letters, and joined parts.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "common/core/decimal_text.h"

namespace qv::bootstrap {

// Reads a decimal number the way the Windows runtime's _wtoi does: leading white space, an
// optional sign, then digits up to the first non-digit; no digits give 0. Values beyond the range
// of int are clamped to INT_MAX or INT_MIN, as the runtime does.
int WideToInt(const std::wstring& text);

using qv::DecimalText;

bool IsAsciiLetter(wchar_t c);
wchar_t ToUpperAscii(wchar_t c);

// Equality without regard to the case of ASCII letters; other characters must match exactly.
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
bool EndsWithNoCase(const std::wstring& text, const std::wstring& suffix);

// The parts one after the other.
std::wstring Joined(std::initializer_list<std::wstring_view> parts);

}  // namespace qv::bootstrap
