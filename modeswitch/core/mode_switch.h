// The phone's vendor commands over SCSI pass-through: device path, one exchange, one command
// (open, exchange, close), and the operations behind the library's exports. Results of the
// lower layers: n >= 0 data bytes, or one of the negative codes below.
#pragma once

#include <cstddef>
#include <cstdint>

#include "modeswitch/phone_data_items.h"
#include "modeswitch/core/phone_link.h"

namespace qv::modeswitch {

constexpr int kBadDriveLetter = -1;
constexpr int kOpenFailed = -2;
constexpr int kExchangeFailed = -3;
constexpr int kAccessDenied = -20;

constexpr uint8_t kVendorOpcode = 0xF1;
constexpr uint8_t kGroupChangeMode = 1;
constexpr uint8_t kGroupPhoneData = 2;
constexpr uint8_t kGroupDriveControl = 3;
constexpr uint8_t kDriveEnable = 0x06;
constexpr uint8_t kDriveDisable = 0x07;
constexpr uint8_t kItemSelectedMode = QVE_ITEM_SELECTED_MODE;

// The two group-1 codes of a USB mode: the second form is sent only when the first fails.
struct ModeCodes {
  uint8_t first;
  uint8_t second;
};
constexpr ModeCodes kModeModem{0x01, 0x81};
constexpr ModeCodes kModeUms{0x02, 0x82};
constexpr ModeCodes kModeMtp{0x03, 0x83};
constexpr ModeCodes kModeAsk{0x05, 0x85};
constexpr ModeCodes kModeCgo{0x08, 0x86};
constexpr ModeCodes kModeTet{0x09, 0x87};

constexpr size_t kDrivePathSize = 7;  // "\\.\X:" and its terminator

// 'A'-'Z' or 'a'-'z': the only characters that name a drive.
bool IsDriveLetter(char letter);

// Writes the device path of drive `letter` into `path` (at least kDrivePathSize bytes).
// Returns 0, or kBadDriveLetter without writing anything.
int MakeDrivePath(char* path, char letter);

// One exchange on an opened drive; copies at most `dataLength` answer bytes to `destination`.
// Returns the number of data bytes the driver reported (0..1024), or kExchangeFailed.
int SendPassThrough(PhoneLink& link, const uint8_t* cdb, uint8_t cdbLength, void* destination,
                    uint32_t dataLength);

// Open the drive, send F1 group code 00 00 00 (or the eject request), close the drive. A drive
// that is no CD-ROM drive is never opened: kOpenFailed.
int SendVendorCommand(PhoneLink& link, char letter, uint8_t group, uint8_t code, void* destination,
                      uint32_t dataLength);
int SendEjectCommand(PhoneLink& link, char letter, void* destination, uint32_t dataLength);

// The exports' logic; each returns exactly 1 or 0.
int ChangeMode(PhoneLink& link, char letter, ModeCodes mode);
int ChangeModeToUserSelection(PhoneLink& link, char letter);
int GetPhoneData(PhoneLink& link, char letter, uint8_t item, void* buffer, uint32_t length);
int SetDriveEnabled(PhoneLink& link, char letter, bool enable);

}  // namespace qv::modeswitch
