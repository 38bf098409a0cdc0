// The checks before the workflow and the phone's mode change on a scripted PC: the factory line,
// the phone's selected mode, the user's rights and the export that switches the phone.
#include "bootstrap/core/workflow.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/bootstrap/workflow_record.h"

namespace qv::bootstrap::testing {
namespace {

TEST_F(Workflow, ThePhonesModeIsAskedOnItsDriveAndAFactoryLineOrAUserWithoutRightsEndsTheRun) {
  int mode = -1, admin = -1;
  pc.selectedMode = kModeUms;
  EXPECT_EQ(CheckPcAndPhone(pc, pc, L"E", mode, admin), SystemCheck::Passed);
  EXPECT_EQ(mode, kModeUms);
  EXPECT_EQ(admin, 1);
  EXPECT_EQ(Record(), R"(
[CheckSystem()] START...............
> ReadSelectedMode E
[CheckSystem()] Get User Selection Mode Command is Success.....
[CheckSystem()] User Selection Mode is (2), Admin is (1)
[CheckSystem()] END...............
)");

  // A phone that does not answer leaves the fallback; a user without rights is told so.
  pc.selectedMode = -1;
  pc.administrator = false;
  EXPECT_EQ(CheckPcAndPhone(pc, pc, L"E", mode, admin), SystemCheck::NotAdministrator);
  EXPECT_EQ(mode, kFallbackMode);
  EXPECT_EQ(Record(), R"(
[CheckSystem()] START...............
> ReadSelectedMode E
[CheckSystem()] Get User Selection Mode Command is Failed
[CheckSystem()] Admin is FALSE...
[MessageBox] [NOTIFICATION]\nThis computer is not logged in as Administrator account.\nThe Autorun feature is not working under User account.
> Message [NOTIFICATION]|This computer is not logged in as Administrator account.|The Autorun feature is not working under User account.
[CheckSystem()] END...............
)");

  // The factory line asks the phone nothing and goes to the modem mode.
  pc.factoryLine = true;
  EXPECT_EQ(CheckPcAndPhone(pc, pc, L"E", mode, admin), SystemCheck::FactoryLine);
  EXPECT_EQ(mode, kFactoryLineMode);
  EXPECT_EQ(Record(), "\n[CheckSystem()] START...............\n[CheckSystem()] This is Factory Line.......\n");
}

TEST_F(Workflow, TheModeChangeTracesTheExportItUsedAndCountsForAUserWithoutRights) {
  EXPECT_TRUE(ChangePhoneMode(pc, L"E", kModeMtp, true));
  EXPECT_EQ(Record(), R"(
[ModeChange()] START.......................
> SwitchMode 1 E
[ModeChange()] ChangeMode2MTP..(Drive : E)...............
[ModeChange()] Mode change success.......................
)");
  pc.phoneSwitch = PhoneSwitch::Failed;
  EXPECT_FALSE(ChangePhoneMode(pc, L"E", 9, true));  // an unknown mode asks the phone for its choice
  EXPECT_EQ(Record(), R"(
[ModeChange()] START.......................
> SwitchMode 3 E
[ModeChange()] default: ChangeMode2ASK..(Drive : E)...............
[ModeChange()] Mode change failed.......................
)");
  pc.phoneSwitch = PhoneSwitch::Threw;
  EXPECT_TRUE(ChangePhoneMode(pc, L"", kModeModem, false));
  EXPECT_EQ(Record(), R"(
[ModeChange()] START.......................
> SwitchMode 0 (none)
[ModeChange()] Error (catch).......................
[ModeChange()] Mode change failed.......................
)");
}

}  // namespace
}  // namespace qv::bootstrap::testing
