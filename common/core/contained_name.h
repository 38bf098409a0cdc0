// Whether a file name from outside (a configuration file, a server, a cabinet) stays inside the
// folder it is appended to. Shared by the wide program and the narrow library, so one template.
#pragma once

#include <initializer_list>
#include <string>
#include <type_traits>

namespace qv {

namespace contained_name_detail {

template <typename Char>
bool IsSeparator(Char c) {
  return c == Char('\\') || c == Char('/');
}

// A part made only of dots and blanks with at least two dots: Windows drops trailing dots and
// blanks from a part, so such a part can resolve to the parent folder. Nothing sensible is lost
// by refusing them all.
template <typename Char>
bool IsParentPart(const Char* begin, const Char* end) {
  int dots = 0;
  for (const Char* c = begin; c != end; ++c) {
    if (*c == Char('.')) {
      ++dots;
    } else if (*c != Char(' ')) {
      return false;
    }
  }
  return dots >= 2;
}

template <typename Char>
Char UpperAscii(Char c) {
  return c >= Char('a') && c <= Char('z') ? Char(c - Char('a') + Char('A')) : c;
}

// The part's stem, in any letter case, is exactly |word|.
template <typename Char>
bool StemIs(const Char* begin, const Char* end, const char* word) {
  for (; begin != end && *word; ++begin, ++word) {
    if (UpperAscii(*begin) != Char(*word)) return false;
  }
  return begin == end && !*word;
}

// The digit of a COM or LPT device: 1 to 9, and the superscript digits one, two and three, which
// Windows reads as the same ports (U+00B9, U+00B2, U+00B3; the same bytes in the ANSI code page).
template <typename Char>
bool IsDevicePortDigit(Char c) {
  const auto code = static_cast<typename std::make_unsigned<Char>::type>(c);
  return (code >= '1' && code <= '9') || code == 0xB9 || code == 0xB2 || code == 0xB3;
}

// A part that Windows opens as a device wherever it stands in a path: CON, PRN, AUX, NUL,
// COM1-COM9 and LPT1-LPT9 (also with a superscript 1, 2 or 3), CONIN$ and CONOUT$, in any letter
// case. Windows looks only at the text before the first dot, without the blanks that end it, so
// "nul.msi", "Con .txt" and "aux. " are devices too.
template <typename Char>
bool IsDevicePart(const Char* begin, const Char* end) {
  const Char* stem = begin;
  while (stem != end && *stem != Char('.')) ++stem;
  while (stem != begin && stem[-1] == Char(' ')) --stem;
  for (const char* word : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (StemIs(begin, stem, word)) return true;
  }
  return stem - begin == 4 && (StemIs(begin, begin + 3, "COM") || StemIs(begin, begin + 3, "LPT")) &&
         IsDevicePortDigit(begin[3]);
}

}  // namespace contained_name_detail

// True for a relative name such as "PX_Bootstrap.exe" or "tools\setup.msi". False for an empty
// name, a rooted or UNC name ("\x", "/x"), any name with a colon (a drive as in "C:x", or a
// stream), any name with a part that climbs out of the folder ("..", and the dot-and-blank
// spellings that Windows reads as ".."), and any name with a part that Windows opens as a device
// ("nul.msi", "tools\COM1"), and any name with a NUL character: the system reads a name only up to
// its first NUL, so what follows it would have been checked in vain ("nul\0.cab" opens "nul").
// Both slashes count as separators.
template <typename Char>
bool IsContainedName(const std::basic_string<Char>& name) {
  using namespace contained_name_detail;
  if (name.empty() || IsSeparator(name.front())) return false;
  if (name.find(Char(':')) != std::basic_string<Char>::npos) return false;
  if (name.find(Char('\0')) != std::basic_string<Char>::npos) return false;
  const Char* part = name.data();
  const Char* end = name.data() + name.size();
  for (const Char* c = part;; ++c) {
    if (c == end || IsSeparator(*c)) {
      if (IsParentPart(part, c) || IsDevicePart(part, c)) return false;
      if (c == end) return true;
      part = c + 1;
    }
  }
}

}  // namespace qv
