// The command line of a started program: the full path in double quotes, then the arguments
// after one blank.
#include "common/core/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

// That a started program reads back these arguments is checked by the command lines' fuzz target.
TEST(QuotedCommandLine, IsTheQuotedPathThenTheArgumentsAfterOneBlankExactlyAsGiven) {
  EXPECT_EQ(QuotedCommandLine(LR"(C:\Program Files (x86)\QV\PXPC.exe)", L""), LR"("C:\Program Files (x86)\QV\PXPC.exe")");
  EXPECT_EQ(QuotedCommandLine(LR"(E:\PX_Bootstrap.exe)", L"-l E"), LR"("E:\PX_Bootstrap.exe" -l E)");
  // Quoting and spacing inside the arguments belong to the caller and are kept.
  EXPECT_EQ(QuotedCommandLine(LR"(C:\Windows\System32\msiexec.exe)", LR"(/i "D:\drivers\unison driver.msi" /qn)"),
            LR"("C:\Windows\System32\msiexec.exe" /i "D:\drivers\unison driver.msi" /qn)");
}

}  // namespace
}  // namespace qv
