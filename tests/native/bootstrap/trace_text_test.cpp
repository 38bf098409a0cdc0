// Trace entries: the debugger line, the bytes of a log file entry, the file names and the choice
// of the file a run writes to.
#include "bootstrap/core/line_ends.h"
#include "bootstrap/core/trace_text.h"

#include <gtest/gtest.h>

#include <set>

namespace qv::bootstrap {
namespace {

TEST(TraceText, DebuggerLineCarriesPrefixElapsedTimeAndLiteralText) {
  EXPECT_EQ(FormatDebuggerLine(0, L"Step1()\r\n"), L"QVEPX:[0] Step1()\r\n");
  EXPECT_EQ(FormatDebuggerLine(1500, L"100% %s"), L"QVEPX:[1500] 100% %s");
  EXPECT_EQ(ElapsedMilliseconds(0xFFFFFF00u, 0x100u), 0x200);  // across the tick count's wrap
  EXPECT_EQ(ElapsedMilliseconds(10, 5), -5);
}

TEST(TraceText, FileEntryEndsInOneLineEndAndAnEmptyLine) {
  EXPECT_EQ(FormatLogFileEntry(L"A\r\n"), L"A\r\n\r\n");
  EXPECT_EQ(FormatLogFileEntry(L"A"), L"A\r\n\r\n");
  EXPECT_EQ(FormatLogFileEntry(L"a\nb\r\nc\n"), L"a\r\nb\r\nc\r\n\r\n");
  EXPECT_EQ(FormatLogFilePath(L"C:\\T", 37), L"C:\\T\\PX_Bootstrap_Log(0037).txt");
}

TEST(TraceText, AMessageIsOneLineWithItsCodeFirstAndACauseNamesItsOperation) {
  EXPECT_EQ(FormatMessageTrace(L"Failed.\nCannot copy.\n[002]\nE:\\a.dll"),
            L"[MessageBox] [002] Failed.\\nCannot copy.\\n[002]\\nE:\\a.dll\r\n");
  EXPECT_EQ(FormatMessageTrace(L"Line one.\r\nLine two."), L"[MessageBox] Line one.\\nLine two.\r\n");
  // Only three digits in brackets make a code; a path's brackets or a notice's word do not.
  EXPECT_EQ(FormatMessageTrace(L"[NOTIFICATION]\n[12] [1234] x[9"), L"[MessageBox] [NOTIFICATION]\\n[12] [1234] x[9\r\n");
  EXPECT_EQ(FormatCauseTrace(L"RunPXPC()", L"system error 2"), L"[RunPXPC()] Cause: system error 2\r\n");
}

TEST(TraceText, RelaunchedRunWritesToTheLastFileOfTheUnbrokenRow) {
  auto present = [](std::set<int> numbers) {
    return [numbers](int n) { return numbers.count(n) > 0; };
  };
  EXPECT_EQ(ChooseLogFileNumber(true, present({0, 1, 2, 3})), 3);
  EXPECT_EQ(ChooseLogFileNumber(true, present({0, 2, 3})), 0);
  EXPECT_EQ(ChooseLogFileNumber(false, present({0, 1})), 0);
  int probes = 0;
  EXPECT_EQ(ChooseLogFileNumber(true, [&](int) { return ++probes, true; }), 9999);
  EXPECT_EQ(probes, 10000);
}

TEST(TraceText, LaterEntriesOfARelaunchedRunProbeTwoFilesUntilTheSequenceChanges) {
  std::set<int> files{0, 1, 2};
  int probes = 0;
  auto exists = [&](int n) { return ++probes, files.count(n) > 0; };
  EXPECT_EQ(FollowLogFileNumber(-1, exists), 2);  // the first entry scans
  EXPECT_EQ(probes, 4);
  probes = 0;
  EXPECT_EQ(FollowLogFileNumber(2, exists), 2);
  EXPECT_EQ(probes, 2);
  files.insert(3);  // another run started a new file
  EXPECT_EQ(FollowLogFileNumber(2, exists), 3);
  files = {0};  // the newer files were deleted
  EXPECT_EQ(FollowLogFileNumber(3, exists), 0);
  files.clear();
  EXPECT_EQ(FollowLogFileNumber(0, exists), 0);
  std::set<int> full;
  for (int n = 0; n <= kLastLogFileNumber; ++n) full.insert(n);
  probes = 0;
  auto all = [&](int n) { return ++probes, full.count(n) > 0; };
  EXPECT_EQ(FollowLogFileNumber(kLastLogFileNumber, all), kLastLogFileNumber);
  EXPECT_EQ(probes, 1);  // no file after the last number is probed
}

}  // namespace
}  // namespace qv::bootstrap

TEST(LineEnds, EveryKindOfLineEndBecomesCrLf) {
  EXPECT_EQ(qv::bootstrap::NormalizeLineEnds(L"a\nb\r\nc\rd\r\r\n\n"), L"a\r\nb\r\nc\r\nd\r\n\r\n\r\n");
  EXPECT_EQ(qv::bootstrap::NormalizeLineEnds(L"no end"), L"no end");
  EXPECT_EQ(qv::bootstrap::NormalizeLineEnds(L"\r"), L"\r\n");
}
