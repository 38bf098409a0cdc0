// Texts of the trace log: the debugger line of every entry, the bytes an entry adds to the log
// file, the numbered log file names and which number a run writes to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qv::bootstrap {

constexpr wchar_t kDebuggerPrefix[] = L"QVEPX:";
constexpr wchar_t kLogIniName[] = L"AutoRun_Log.ini";
constexpr wchar_t kLogIniSection[] = L"LOG";
constexpr wchar_t kLogIniKey[] = L"enablelogging";
constexpr int kLastLogFileNumber = 9999;  // four digits in the file name

// Milliseconds from `startTick` to `nowTick` of the 32-bit system tick count, across its wrap,
// as a signed number.
int ElapsedMilliseconds(uint32_t startTick, uint32_t nowTick);

// "QVEPX:[ms] text": the text is appended unchanged, never used as a format.
std::wstring FormatDebuggerLine(int elapsedMs, const std::wstring& text);

// What one entry adds to the log file: the text, a line end if it has none, and an empty line.
// Every line feed comes out as CR LF (a CR LF already there stays as it is), so the result is
// written as it is, without the runtime's text-mode translation.
std::wstring FormatLogFileEntry(const std::wstring& text);

// "<folder>\PX_Bootstrap_Log(NNNN).txt" with a four-digit number.
std::wstring FormatLogFilePath(const std::wstring& folder, int number);

// The number of the log file that an entry goes to. A first run always writes to 0000. A
// relaunched run writes to the highest number N such that 0000 to N all exist (0000 when none
// does); the scan stops at kLastLogFileNumber. `exists(n)` tells whether file n is there.
int ChooseLogFileNumber(bool relaunched, const std::function<bool(int number)>& exists);

// ChooseLogFileNumber for the next entry of a relaunched run whose last entry went to file
// `current` (-1 before the first). While that file exists and the next one does not, nothing has
// grown the sequence and only those two are probed; otherwise the sequence is scanned again. A
// file below `current` that disappears meanwhile is not noticed until `current` itself goes.
int FollowLogFileNumber(int current, const std::function<bool(int number)>& exists);

// "[MessageBox] <text>\r\n": a message box's text as one trace line, each line break written as
// the two characters "\n". A message that carries a code ("[000]" to "[999]") has it first too:
// "[MessageBox] [002] <text>".
std::wstring FormatMessageTrace(const std::wstring& text);

// "[<operation>] Cause: <cause>\r\n": why the step of the line before failed.
std::wstring FormatCauseTrace(const std::wstring& operation, const std::wstring& cause);

}  // namespace qv::bootstrap
