// Whether a file name from outside (a configuration file, a server, a cabinet) stays inside the
// folder it is appended to. Shared by the wide program and the narrow library, so one template.
#pragma once

#include <string>

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

}  // namespace contained_name_detail

// True for a relative name such as "PX_Bootstrap.exe" or "tools\setup.msi". False for an empty
// name, a rooted or UNC name ("\x", "/x"), any name with a colon (a drive as in "C:x", or a
// stream), and any name with a part that climbs out of the folder ("..", and the dot-and-blank
// spellings that Windows reads as ".."). Both slashes count as separators.
template <typename Char>
bool IsContainedName(const std::basic_string<Char>& name) {
  using namespace contained_name_detail;
  if (name.empty() || IsSeparator(name.front())) return false;
  if (name.find(Char(':')) != std::basic_string<Char>::npos) return false;
  const Char* part = name.data();
  const Char* end = name.data() + name.size();
  for (const Char* c = part;; ++c) {
    if (c == end || IsSeparator(*c)) {
      if (IsParentPart(part, c)) return false;
      if (c == end) return true;
      part = c + 1;
    }
  }
}

}  // namespace qv
