// The run's decisions outside the workflow: another instance at start and the end of a phone
// start. Where a PC start goes and the online run's steps are checked with the whole workflow.
#include "bootstrap/core/run_decisions.h"

#include <gtest/gtest.h>

namespace qv::bootstrap {
namespace {

TEST(RunDecisions, AnotherInstanceKeepsItsPhoneAndHandsOverNothingElse) {
  EXPECT_EQ(DecideOtherInstance(false, {false, true}), OtherInstanceStep::Continue);
  EXPECT_EQ(DecideOtherInstance(true, CompareOtherPhoneDrive(L"e", L"E:\\")), OtherInstanceStep::LeaveToOther);
  EXPECT_EQ(DecideOtherInstance(true, CompareOtherPhoneDrive(L"F", L"E:\\")), OtherInstanceStep::SwitchAndEnd);
  // A silent instance is no evidence of anything: this run goes on, even with no drive of its own.
  EXPECT_EQ(DecideOtherInstance(true, CompareOtherPhoneDrive(L"", L"E:\\")), OtherInstanceStep::Continue);
  EXPECT_EQ(DecideOtherInstance(true, CompareOtherPhoneDrive(L"", L"")), OtherInstanceStep::Continue);
}

TEST(RunDecisions, PhoneStartSwitchesUnlessItsCopyStarted) {
  EXPECT_FALSE(PhoneStartSwitchesMode(1));
  for (int result : {0, 2, -1}) EXPECT_TRUE(PhoneStartSwitchesMode(result)) << result;
}

}  // namespace
}  // namespace qv::bootstrap
