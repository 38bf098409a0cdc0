// The run's decisions outside the workflow: another instance at start (the drive it serves and
// whether a process is one) and the end of a phone start. Where a PC start goes, the online run's
// steps and the mode table's exports are checked with the whole workflow.
#include "bootstrap/core/run_decisions.h"

#include <gtest/gtest.h>

#include "bootstrap/core/usb_mode.h"

namespace qv::bootstrap {
namespace {

TEST(RunDecisions, AnotherInstanceKeepsItsPhoneInEitherCaseAndHandsOverNothingElse) {
  EXPECT_EQ(DecideOtherInstance(false, {false, true}), OtherInstanceStep::Continue);
  EXPECT_EQ(DecideOtherInstance(true, CompareOtherPhoneDrive(L"e", L"E:\\")), OtherInstanceStep::LeaveToOther);
  EXPECT_EQ(DecideOtherInstance(true, CompareOtherPhoneDrive(L"F", L"E:\\")), OtherInstanceStep::SwitchAndEnd);
  // A silent instance is no evidence of anything: this run goes on, even with no drive of its own.
  EXPECT_TRUE(CompareOtherPhoneDrive(L"", L"E").otherNoResponse);
  EXPECT_EQ(DecideOtherInstance(true, CompareOtherPhoneDrive(L"", L"E:\\")), OtherInstanceStep::Continue);
  EXPECT_EQ(DecideOtherInstance(true, CompareOtherPhoneDrive(L"", L"")), OtherInstanceStep::Continue);
}

TEST(RunDecisions, OnlyAProcessOfThisProgramIsAnInstance) {
  EXPECT_TRUE(IsSameProgramImage(L"C:\\users\\u\\Templates\\E\\px_bootstrap.EXE", L"PX_Bootstrap.exe"));
  EXPECT_TRUE(IsSameProgramImage(L"F:/PX_Bootstrap.exe", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"E:\\stub_PX_Bootstrap.exe", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"E:\\PX_Bootstrap.exe\\other.exe", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"E:\\", L""));  // our own name unknown
  EXPECT_FALSE(IsSameProgramImage(L"", L"PX_Bootstrap.exe"));
  // The configured PC tool against running images: a name inside it is another program.
  EXPECT_FALSE(IsSameProgramImage(L"PXPC.exe", L"pc.exe"));
  EXPECT_FALSE(IsSameProgramImage(L"PXPC.exe", L"PXPC.exe.exe"));
}

TEST(RunDecisions, AModeOutsideTheTableAsksThePhone) {
  for (int mode : {-1, 6, 255}) {
    EXPECT_EQ(ChooseModeChange(mode).mode, kModeAsk) << mode;
    EXPECT_TRUE(ChooseModeChange(mode).isDefault) << mode;
  }
}

TEST(RunDecisions, PhoneStartSwitchesUnlessItsCopyStarted) {
  EXPECT_FALSE(PhoneStartSwitchesMode(1));
  for (int result : {0, 2, -1}) EXPECT_TRUE(PhoneStartSwitchesMode(result)) << result;
}

}  // namespace
}  // namespace qv::bootstrap
