// How a stand-in program was started: its command line arguments, appended as one UTF-8 line to
// a log that tests read. Shared by the stub PC tool and the test driver setup.
#pragma once

#include <string>

namespace qv {

// The arguments part of a Windows command line: what follows the program name (quoted, or up to
// the first blank) and the blanks after it; the rest is kept exactly as given.
std::wstring CommandLineArguments(const wchar_t* commandLine);

// Appends CommandLineArguments(GetCommandLineW()) and "\r\n" to the file named by the environment
// variable `logVariable`, or, when that is unset or empty, to `defaultName` in the folder of the
// running executable. Returns false when the line could not be written; never throws.
bool AppendInvocationLine(const wchar_t* logVariable, const wchar_t* defaultName);

}  // namespace qv
