// The run's decisions: another instance at start, the end of a phone start, where a PC start
// goes, the online run's steps and when the driver is installed.
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

TEST(RunDecisions, PcStartAsksOnlyWhenSomethingIsDueAndEndsOnAnAbnormalCheck) {
  EXPECT_EQ(DecidePcStart(false, false, false), PcStartStep::RunHidden);
  EXPECT_EQ(DecidePcStart(false, true, false), PcStartStep::AskLicence);
  EXPECT_EQ(DecidePcStart(false, false, true), PcStartStep::AskLicence);
  for (bool driver : {false, true}) {
    for (bool tool : {false, true}) EXPECT_EQ(DecidePcStart(true, driver, tool), PcStartStep::EndWithModeChange);
  }
}

TEST(RunDecisions, OnlineRunDownloadsWhatIsDueAndStartsTheToolFromACompletePackageOnly) {
  const OnlinePlan nothing = PlanOnlineRun(false, false);
  EXPECT_FALSE(nothing.download || nothing.installDriver || nothing.installPause);
  EXPECT_TRUE(nothing.needsCompletePackage);

  const OnlinePlan driver = PlanOnlineRun(true, false);
  EXPECT_TRUE(driver.download && driver.installDriver && driver.needsCompletePackage);
  EXPECT_FALSE(driver.installPause);

  const OnlinePlan tool = PlanOnlineRun(false, true);
  EXPECT_TRUE(tool.download && tool.installPause);
  EXPECT_FALSE(tool.installDriver || tool.needsCompletePackage);  // the fresh download is the package

  const OnlinePlan both = PlanOnlineRun(true, true);
  EXPECT_TRUE(both.download && both.installDriver);
  EXPECT_FALSE(both.installPause || both.needsCompletePackage);
}

TEST(RunDecisions, DriverInstallAsksForTheConnectionOnlyWhenItDecides) {
  int asked = 0;
  auto online = [&asked] { return ++asked, true; };
  auto offline = [&asked] { return ++asked, false; };
  EXPECT_EQ(DecideDriverInstall(true, true, true, online), DriverInstallStep::SkipForPcTool);
  EXPECT_EQ(DecideDriverInstall(false, false, true, online), DriverInstallStep::NothingToDo);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(DecideDriverInstall(false, true, true, online), DriverInstallStep::Install);
  EXPECT_EQ(DecideDriverInstall(false, true, false, online), DriverInstallStep::Install);
  EXPECT_EQ(DecideDriverInstall(false, true, true, offline), DriverInstallStep::Install);  // the phone's own
  EXPECT_EQ(DecideDriverInstall(false, true, false, offline), DriverInstallStep::NothingToDo);
  EXPECT_EQ(asked, 4);
}

}  // namespace
}  // namespace qv::bootstrap
