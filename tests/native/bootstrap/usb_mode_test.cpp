// The mode table (its trace lines are checked with the workflow), and the other instance's drive
// and process.
#include "bootstrap/core/usb_mode.h"

#include <gtest/gtest.h>

namespace qv::bootstrap {
namespace {

TEST(UsbMode, KnownModesPickTheirExportAndAnyOtherFallsBackToAsk) {
  EXPECT_STREQ(ChooseModeChange(0).exportName, L"ChangeMode2Modem");
  EXPECT_STREQ(ChooseModeChange(5).exportName, L"ChangeMode2TET");
  EXPECT_EQ(ChooseModeChange(4).mode, kModeCgo);
  for (int mode : {-1, 6, 7, 255}) {
    EXPECT_EQ(ChooseModeChange(mode).mode, kModeAsk) << mode;
    EXPECT_TRUE(ChooseModeChange(mode).isDefault) << mode;
  }
}

TEST(UsbMode, OtherInstanceServesTheSameDriveInEitherCase) {
  EXPECT_TRUE(CompareOtherPhoneDrive(L"e", L"E:\\").same);
  EXPECT_FALSE(CompareOtherPhoneDrive(L"F", L"E").same);
  const SameDriveResult silent = CompareOtherPhoneDrive(L"", L"E");
  EXPECT_FALSE(silent.same);
  EXPECT_TRUE(silent.otherNoResponse);
  EXPECT_FALSE(CompareOtherPhoneDrive(L"", L"").same);  // no answer is no evidence
}

TEST(UsbMode, OnlyAProcessOfThisProgramIsAnInstance) {
  EXPECT_TRUE(IsSameProgramImage(L"C:\\users\\u\\Templates\\E\\px_bootstrap.EXE", L"PX_Bootstrap.exe"));
  EXPECT_TRUE(IsSameProgramImage(L"F:/PX_Bootstrap.exe", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"E:\\stub_PX_Bootstrap.exe", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"E:\\PX_Bootstrap.exe\\other.exe", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"E:\\", L""));  // our own name unknown
  EXPECT_FALSE(IsSameProgramImage(L"", L"PX_Bootstrap.exe"));
  // The configured PC tool against running images: a name inside it is another program.
  EXPECT_TRUE(IsSameProgramImage(L"tools\\PXPC.exe", L"pxpc.EXE"));
  EXPECT_FALSE(IsSameProgramImage(L"PXPC.exe", L"c.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"PXPC.exe", L"pc.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"PXPC.exe", L"PXPC.exe.exe"));
}

}  // namespace
}  // namespace qv::bootstrap
