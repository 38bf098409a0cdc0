// How a stand-in program was started: its command line arguments, appended as one UTF-8 line to
// a log that tests read. Shared by the stub PC tool, the test driver setup and the stub agents.
#pragma once

#include <string>

namespace qv {

// The arguments part of a Windows command line, as the program under test reads its own
// (SkipProgramName); the rest is kept exactly as given.
std::wstring CommandLineArguments(const wchar_t* commandLine);

// Where a log goes when its environment variable is unset or empty.
enum class LogFolder { kBesideProgram, kTemp };

// The file named by the environment variable `logVariable`, or else `defaultName` in the
// `fallback` folder. Empty when no folder can be found; never throws.
std::wstring InvocationLogPath(const wchar_t* logVariable, const wchar_t* defaultName, LogFolder fallback);

// Appends `line` as UTF-8 and "\r\n" to the file at `path` (created when missing) in one write, so
// lines of several writers never mix. Returns false when it could not be written; never throws.
bool AppendLogLine(const std::wstring& path, const std::wstring& line);

// Appends CommandLineArguments(GetCommandLineW()) as one line to the file named by the environment
// variable `logVariable`, or, when that is unset or empty, to `defaultName` in the folder of the
// running executable. Returns false when the line could not be written; never throws.
bool AppendInvocationLine(const wchar_t* logVariable, const wchar_t* defaultName);

}  // namespace qv
