// Vendor commands against the simulated phone: what reaches the driver, byte for byte, and what
// the exports' logic makes of the phone's answers.
#include "modeswitch/core/mode_switch.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <tuple>
#include <vector>

#include "modeswitch/core/simulated_phone.h"

namespace qv::modeswitch {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t FieldAt(const ReceivedCommand& c, size_t offset, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) value |= uint32_t{c.header[offset + i]} << (8 * i);
  return value;
}
uint32_t DataAsked(const ReceivedCommand& c) { return FieldAt(c, 12, 4); }
// What a command asked: its command block, the data bytes it asks for, and the buffer it hands over.
using Asked = std::tuple<Bytes, uint32_t, uint32_t>;
Asked AskedBy(const ReceivedCommand& c) { return {Bytes(c.cdb.begin(), c.cdb.end()), DataAsked(c), c.outLength}; }

// Every command that touches the device, as the exports call them.
std::vector<int> RunAllExports(PhoneLink& phone, char letter) {
  uint8_t data[4] = {};
  return {ChangeMode(phone, letter, kModeModem), ChangeMode(phone, letter, kModeMtp),
          ChangeMode(phone, letter, kModeUms),   ChangeMode(phone, letter, kModeAsk),
          ChangeMode(phone, letter, kModeCgo),   ChangeMode(phone, letter, kModeTet),
          ChangeModeToUserSelection(phone, letter),
          GetPhoneData(phone, letter, kItemSelectedMode, data, 1),
          SetDriveEnabled(phone, letter, true),  SetDriveEnabled(phone, letter, false)};
}

TEST(DrivePath, AcceptsExactlyTheLettersAndKeepsTheirCase) {
  int accepted = 0;
  for (int c = -128; c < 128; ++c) {
    char path[kDrivePathSize + 1];
    std::memset(path, 'x', sizeof path);
    const int result = MakeDrivePath(path, static_cast<char>(c));
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter) {
      ++accepted;
      ASSERT_EQ(result, 0);
      EXPECT_EQ(std::string(path), std::string("\\\\.\\") + static_cast<char>(c) + ":");
      EXPECT_EQ(path[kDrivePathSize], 'x');
    } else {
      ASSERT_EQ(result, kBadDriveLetter) << c;
      EXPECT_EQ(std::string(path, sizeof path), std::string(sizeof path, 'x'));
    }
  }
  EXPECT_EQ(accepted, 52);
}

TEST(DrivePath, NonLettersFailEveryExportWithoutTouchingTheDevice) {
  for (char letter : {'1', '[', '`', '@', '{', '\0'}) {
    SimulatedPhone phone;
    EXPECT_EQ(RunAllExports(phone, letter), std::vector<int>(10, 0)) << letter;
    EXPECT_TRUE(phone.openAttempts().empty());
  }
  SimulatedPhone phone;
  EXPECT_EQ(RunAllExports(phone, 'e'), std::vector<int>(10, 1));
  EXPECT_EQ(phone.received().front().devicePath, "\\\\.\\e:");
}

TEST(PassThrough, RequestCarriesTheFixedHeaderOverAZeroedBuffer) {
  SimulatedPhone phone;
  uint8_t mode = 0xEE;
  ASSERT_EQ(GetPhoneData(phone, 'E', kItemSelectedMode, &mode, 1), 1);
  ASSERT_EQ(phone.received().size(), 1u);
  const ReceivedCommand& c = phone.received()[0];
  const std::array<uint8_t, kHeaderSize> expected = {
      44, 0, 0, 0, 0, 0, 6, 0, 1, 0, 0, 0,  // Length, status, path, target, lun, cdb/sense len, in
      1, 0, 0, 0,                           // DataTransferLength
      120, 0, 0, 0,                         // TimeOutValue
      80, 0, 0, 0,                          // DataBufferOffset
      48, 0, 0, 0,                          // SenseInfoOffset
      0xF1, 0x02, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(c.header, expected);
  EXPECT_EQ(c.inLength, 44u);
  EXPECT_EQ(c.outLength, 81u);
  EXPECT_TRUE(c.arrivedZeroed);
  EXPECT_EQ(c.devicePath, "\\\\.\\E:");
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(phone.openCount(), 1);
  EXPECT_EQ(phone.closeCount(), 1);
}

struct ModeCase {
  ModeCodes mode;
  uint8_t first;
  uint8_t second;
};
const ModeCase kModes[] = {{kModeModem, 0x01, 0x81}, {kModeUms, 0x02, 0x82}, {kModeMtp, 0x03, 0x83},
                           {kModeAsk, 0x05, 0x85},   {kModeCgo, 0x08, 0x86}, {kModeTet, 0x09, 0x87}};

TEST(ModeChange, TheFirstFormAsksNoDataAndARefusedOneIsFollowedByTheSecondFormAskingOneByte) {
  for (const ModeCase& m : kModes) {
    const Asked first{{0xF1, 0x01, m.first, 0, 0, 0}, 0, 80};
    SimulatedPhone accepting;
    EXPECT_EQ(ChangeMode(accepting, 'E', m.mode), 1);
    ASSERT_EQ(accepting.received().size(), 1u);
    EXPECT_EQ(AskedBy(accepting.received()[0]), first);

    SimulatedPhone phone;
    phone.config().firstFormAccepted = false;
    EXPECT_EQ(ChangeMode(phone, 'E', m.mode), 1);
    ASSERT_EQ(phone.received().size(), 2u);
    EXPECT_EQ(AskedBy(phone.received()[0]), first);
    EXPECT_EQ(AskedBy(phone.received()[1]), Asked({0xF1, 0x01, m.second, 0, 0, 0}, 1, 81));
    EXPECT_EQ(phone.openCount(), 2);
    EXPECT_EQ(phone.closeCount(), 2);
  }
}

TEST(ModeChange, SecondFormMustAnswerExactlyOneByte) {
  for (uint32_t bytes : {0u, 1u, 2u, 1024u}) {
    SimulatedPhone phone;
    phone.config().firstFormAccepted = false;
    phone.config().secondFormBytes = bytes;
    EXPECT_EQ(ChangeMode(phone, 'E', kModeMtp), bytes == 1 ? 1 : 0) << bytes;
  }
  // A first form that answers data it should not have counts as refused.
  SimulatedPhone chatty;
  chatty.config().driverBytes = 81;
  EXPECT_EQ(ChangeMode(chatty, 'E', kModeAsk), 1);
  EXPECT_EQ(chatty.received().size(), 2u);
  // A full-size report copies nothing into the mode change's small scratch buffer (ASan watches).
  chatty.config().driverBytes = kBufferSize;
  EXPECT_EQ(ChangeMode(chatty, 'E', kModeAsk), 0);
}

// Reads `item` asking `length` bytes into an 8-byte buffer prefilled with 0xEE.
Bytes Read(SimulatedPhone& phone, uint8_t item, uint32_t length) {
  Bytes buffer(8, 0xEE);
  EXPECT_EQ(GetPhoneData(phone, 'E', item, buffer.data(), length), 1);
  return buffer;
}

TEST(PhoneData, CopiesWhatCameBackUpToTheLengthAskedAndLeavesTheRest) {
  SimulatedPhone phone;
  phone.config().items[0x20] = {1, 2, 3, 4, 5, 6, 7, 8};
  phone.config().items[0x21] = {9, 9};
  phone.config().items[0x22] = {};
  const uint8_t x = 0xEE;
  EXPECT_EQ(Read(phone, 0x20, 4), Bytes({1, 2, 3, 4, x, x, x, x}));
  EXPECT_EQ(Read(phone, 0x21, 8), Bytes({9, 9, x, x, x, x, x, x}));
  EXPECT_EQ(Read(phone, 0x22, 8), Bytes(8, x));  // no data is still success
  // A driver that reports more than was asked never writes past the caller's length.
  phone.config().driverBytes = kDataOffset + 8;
  EXPECT_EQ(Read(phone, 0x21, 4), Bytes({9, 9, 0, 0, x, x, x, x}));
}

TEST(PhoneData, DriverCountsOutsideTheBufferMeanNoData) {
  for (uint32_t reported : {0u, 79u, 1105u, 0xFFFFFFFFu}) {
    SimulatedPhone phone;
    phone.config().items[0x20] = {1, 2, 3};
    phone.config().driverBytes = reported;
    uint8_t buffer[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(SendVendorCommand(phone, 'E', kGroupPhoneData, 0x20, buffer, 3), 0) << reported;
    EXPECT_EQ(GetPhoneData(phone, 'E', 0x20, buffer, 3), 1);
    EXPECT_EQ(buffer[0], 0xEE);
  }
  SimulatedPhone full;
  full.config().items[0x20] = Bytes(1024, 7);
  std::vector<uint8_t> big(1024);
  EXPECT_EQ(SendVendorCommand(full, 'E', kGroupPhoneData, 0x20, big.data(), 1024), 1024);
  EXPECT_EQ(big.back(), 7);
}

TEST(PhoneData, RejectsLengthsBeyondTheDataAreaWithoutDeviceAccess) {
  SimulatedPhone phone;
  std::vector<uint8_t> buffer(2048);
  EXPECT_EQ(GetPhoneData(phone, 'E', 0x10, buffer.data(), 1025), 0);
  EXPECT_EQ(GetPhoneData(phone, 'E', 0x10, nullptr, 1), 0);
  EXPECT_TRUE(phone.openAttempts().empty());
  EXPECT_EQ(GetPhoneData(phone, 'E', 0x10, buffer.data(), 1024), 1);
}

TEST(Failures, OpenAndExchangeFailuresMapToTheirCodesAndEveryExportFails) {
  SimulatedPhone denied;
  denied.config().openResult = OpenResult::AccessDenied;
  EXPECT_EQ(SendVendorCommand(denied, 'E', kGroupPhoneData, 0x10, nullptr, 0), kAccessDenied);
  EXPECT_EQ(SendEjectCommand(denied, 'E', nullptr, 0), kAccessDenied);
  EXPECT_EQ(RunAllExports(denied, 'E'), std::vector<int>(10, 0));
  EXPECT_TRUE(denied.received().empty());
  EXPECT_EQ(denied.openAttempts().size(), 2 + 6u * 2 + 4);  // mode changes try both forms

  SimulatedPhone missing;
  missing.config().openResult = OpenResult::Failed;
  EXPECT_EQ(SendVendorCommand(missing, 'E', kGroupPhoneData, 0x10, nullptr, 0), kOpenFailed);

  // A drive that is no CD-ROM drive is never opened: it fails as a drive that cannot be opened.
  SimulatedPhone disk;
  disk.config().cdRomDrive = false;
  EXPECT_EQ(SendVendorCommand(disk, 'C', kGroupPhoneData, 0x10, nullptr, 0), kOpenFailed);
  EXPECT_EQ(SendEjectCommand(disk, 'C', nullptr, 0), kOpenFailed);
  EXPECT_EQ(RunAllExports(disk, 'C'), std::vector<int>(10, 0));
  EXPECT_TRUE(disk.openAttempts().empty());

  SimulatedPhone broken;
  broken.config().exchangeFails = true;
  EXPECT_EQ(SendVendorCommand(broken, 'E', kGroupPhoneData, 0x10, nullptr, 0), kExchangeFailed);
  EXPECT_EQ(RunAllExports(broken, 'E'), std::vector<int>(10, 0));
  EXPECT_EQ(broken.openCount(), broken.closeCount());
}

TEST(PassThrough, LongAnswerFollowedByShortOneLeaksNothing) {
  SimulatedPhone phone;
  phone.config().items[0x20] = Bytes(16, 0xAA);
  phone.config().items[0x21] = {0x05};
  std::array<uint8_t, 16> buffer{};
  ASSERT_EQ(GetPhoneData(phone, 'E', 0x20, buffer.data(), 16), 1);
  phone.config().driverBytes = kDataOffset + 16;  // the driver claims more than the phone sent
  ASSERT_EQ(GetPhoneData(phone, 'E', 0x21, buffer.data(), 16), 1);
  std::array<uint8_t, 16> expected{};
  expected[0] = 0x05;
  EXPECT_EQ(buffer, expected);
  for (const ReceivedCommand& c : phone.received()) EXPECT_TRUE(c.arrivedZeroed);
}

TEST(DriveControl, EjectAndDriveCodesAskNoDataAndFailOnAnyAnswer) {
  SimulatedPhone phone;
  EXPECT_EQ(ChangeModeToUserSelection(phone, 'E'), 1);
  EXPECT_EQ(SetDriveEnabled(phone, 'E', true), 1);
  EXPECT_EQ(SetDriveEnabled(phone, 'E', false), 1);
  ASSERT_EQ(phone.received().size(), 3u);
  EXPECT_EQ(AskedBy(phone.received()[0]), Asked({0x1B, 0, 0, 0, 0x02, 0}, 0, 80));
  EXPECT_EQ(AskedBy(phone.received()[1]), Asked({0xF1, 0x03, 0x06, 0, 0, 0}, 0, 80));
  EXPECT_EQ(AskedBy(phone.received()[2]), Asked({0xF1, 0x03, 0x07, 0, 0, 0}, 0, 80));

  phone.config().driverBytes = kDataOffset + 1;
  EXPECT_EQ(ChangeModeToUserSelection(phone, 'E'), 0);
  EXPECT_EQ(SetDriveEnabled(phone, 'E', true), 0);
}

}  // namespace
}  // namespace qv::modeswitch
