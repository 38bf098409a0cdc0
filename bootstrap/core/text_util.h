// Small text helpers of the bootstrap program: the runtime's decimal conversion, and letter case
// for the fixed ASCII keywords of the configuration files and for drive letters.
#pragma once

#include <string>

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

}  // namespace qv::bootstrap
