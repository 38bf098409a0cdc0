// The argument text of a Windows command line: what follows the program's name and the blanks
// after it. The name ends at the first blank outside double quotes, so a quoted path with blanks
// stays whole.
#pragma once

namespace qv {

inline const wchar_t* SkipProgramName(const wchar_t* commandLine) {
  if (commandLine == nullptr) return L"";
  const wchar_t* at = commandLine;
  bool quoted = false;
  while (*at != L'\0' && (quoted || (*at != L' ' && *at != L'\t'))) {
    if (*at == L'"') quoted = !quoted;
    ++at;
  }
  while (*at == L' ' || *at == L'\t') ++at;
  return at;
}

}  // namespace qv
