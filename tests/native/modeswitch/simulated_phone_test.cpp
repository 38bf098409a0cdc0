// The simulator's INI settings and command log format, which later end-to-end runs rely on.
#include "modeswitch/core/simulated_phone.h"

#include <gtest/gtest.h>

namespace qv::modeswitch {
namespace {

using namespace std::string_literals;

TEST(SimulatorSettings, ReadsEveryKeyFromNulOrNewlineSeparatedEntries) {
  const std::string section =
      "selected_mode=4\0first_form = fail\0second_form_bytes=2\0open=denied\0"
      "log=C:\\logs\\phone.log\0exchange=fail\0driver_bytes=79\0drive=e\0item_2a=0A0bFF\0"s;
  const SimulatorSettings s = ParseSimulatorSection(section);
  EXPECT_TRUE(s.errors.empty());
  EXPECT_EQ(s.phone.items.at(0x10), std::vector<uint8_t>({4}));
  EXPECT_EQ(s.phone.items.at(0x2A), std::vector<uint8_t>({0x0A, 0x0B, 0xFF}));
  EXPECT_FALSE(s.phone.firstFormAccepted);
  EXPECT_EQ(s.phone.secondFormBytes, 2u);
  EXPECT_EQ(s.phone.openResult, OpenResult::AccessDenied);
  EXPECT_TRUE(s.phone.exchangeFails);
  EXPECT_EQ(s.phone.driverBytes, 79u);
  EXPECT_EQ(s.phone.driveLetter, 'e');
  EXPECT_EQ(s.logPath, "C:\\logs\\phone.log");

  const SimulatorSettings lines = ParseSimulatorSection("; comment\r\nopen=missing\r\n\r\nselected_mode=0\r\n");
  EXPECT_TRUE(lines.errors.empty());
  EXPECT_EQ(lines.phone.openResult, OpenResult::Failed);
  EXPECT_EQ(lines.phone.items.at(0x10), std::vector<uint8_t>({0}));
}

TEST(SimulatorSettings, RejectsBadEntriesAndKeepsTheDefaults) {
  const SimulatorSettings s = ParseSimulatorSection(
      "selected_mode=256\nselected_mode=-1\nfirst_form=maybe\nsecond_form_bytes=1025\nopen=closed\n"
      "drive=ef\nitem_2a=ABC\nitem_zz=00\ncolour=blue\nnot an entry\n");
  EXPECT_EQ(s.errors.size(), 10u);
  const SimulatedPhoneConfig defaults;
  EXPECT_EQ(s.phone.items, defaults.items);
  EXPECT_TRUE(s.phone.firstFormAccepted);
  EXPECT_EQ(s.phone.secondFormBytes, 1u);
  EXPECT_EQ(s.phone.openResult, OpenResult::Opened);
  EXPECT_EQ(s.phone.driveLetter, 0);
}

TEST(SimulatedPhoneDrive, OnlyTheConfiguredDriveOpensInEitherCase) {
  SimulatorSettings s = ParseSimulatorSection("drive=E");
  SimulatedPhone phone(s.phone);
  EXPECT_EQ(phone.Open("\\\\.\\F:"), OpenResult::Failed);
  EXPECT_EQ(phone.Open("\\\\.\\e:"), OpenResult::Opened);
  phone.Close();
  EXPECT_EQ(phone.openCount(), 1);
}

TEST(CommandLog, FormatsBlocksAsUpperCaseHex) {
  const uint8_t cdb[] = {0xF1, 0x01, 0x03, 0x00, 0xab, 0x0c};
  EXPECT_EQ(FormatCommandBlock(cdb, sizeof cdb), "F1010300AB0C");
}

}  // namespace
}  // namespace qv::modeswitch
