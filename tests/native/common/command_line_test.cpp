// The command line of a started program: the full path in double quotes, then the arguments
// after one blank, and read back by the same rule a started program's own start-up code uses.
#include "common/core/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(QuotedCommandLine, WithoutArgumentsItIsTheQuotedPathAndNothingElse) {
  EXPECT_EQ(QuotedCommandLine(LR"(C:\ProgramData\QVMOBILEAX\QORLauncher.exe)", L""),
            LR"("C:\ProgramData\QVMOBILEAX\QORLauncher.exe")");  // no trailing blank
  EXPECT_EQ(QuotedCommandLine(LR"(C:\Program Files (x86)\QV\PXPC.exe)", L""), LR"("C:\Program Files (x86)\QV\PXPC.exe")");
}

TEST(QuotedCommandLine, ArgumentsFollowTheQuotedPathAfterOneBlankExactlyAsGiven) {
  EXPECT_EQ(QuotedCommandLine(LR"(E:\PX_Bootstrap.exe)", L"-l E"), LR"("E:\PX_Bootstrap.exe" -l E)");
  // Quoting and spacing inside the arguments belong to the caller and are kept.
  EXPECT_EQ(QuotedCommandLine(LR"(C:\Windows\System32\msiexec.exe)", LR"(/i "D:\drivers\unison driver.msi" /qn)"),
            LR"("C:\Windows\System32\msiexec.exe" /i "D:\drivers\unison driver.msi" /qn)");
  EXPECT_EQ(QuotedCommandLine(LR"(C:\a.exe)", L"  two leading blanks"), LR"("C:\a.exe"   two leading blanks)");
}

TEST(QuotedCommandLine, APathWithBlanksStaysOneNameForTheStartedProgram) {
  const std::wstring program = LR"(C:\Program Files (x86)\QV Electronics\PX PC\PXPC.exe)";
  for (const std::wstring arguments : {L"", L"-l E", LR"("C:\with blanks\file.txt" 3)"}) {
    const std::wstring line = QuotedCommandLine(program, arguments);
    // What the program takes for its arguments is exactly what was given, and its name is the
    // whole path: nothing of the path spills into the arguments at a blank.
    EXPECT_EQ(std::wstring(SkipProgramName(line.c_str())), arguments);
    EXPECT_EQ(line.substr(0, program.size() + 2), L"\"" + program + L"\"");
  }
}

}  // namespace
}  // namespace qv
