// Windows command lines: the argument text of one (what follows the program's name and the blanks
// after it; the name ends at the first blank outside double quotes, so a quoted path with blanks
// stays whole), and the command line of a program started with arguments.
#pragma once

#include <string>

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

// "\"<program>\" <arguments>": the program's full path in double quotes (a path holds none), then a
// blank and the arguments when there are any, as the shell's start of a program gave it.
inline std::wstring QuotedCommandLine(const std::wstring& program, const std::wstring& arguments) {
  std::wstring line = L"\"" + program + L"\"";
  if (!arguments.empty()) line += L" " + arguments;
  return line;
}

}  // namespace qv
