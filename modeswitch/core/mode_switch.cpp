// Vendor commands to the phone over SCSI pass-through. The buffer and both command blocks are
// single static objects, as on the device the library is not reentrant: calls must not overlap.
#include "modeswitch/core/mode_switch.h"

#include <algorithm>
#include <cstring>

namespace qv::modeswitch {
namespace {

PassThroughBuffer g_passThrough;
uint8_t g_vendorCdb[kCdbLength];
uint8_t g_ejectCdb[kCdbLength];

// Closes the drive when a command leaves scope, whatever its result.
class OpenDrive {
 public:
  explicit OpenDrive(PhoneLink& link) : m_link(link) {}
  ~OpenDrive() { m_link.Close(); }
  OpenDrive(const OpenDrive&) = delete;
  OpenDrive& operator=(const OpenDrive&) = delete;

 private:
  PhoneLink& m_link;
};

int SendCommand(PhoneLink& link, char letter, const uint8_t* cdb, void* destination,
                uint32_t dataLength) {
  char path[kDrivePathSize];
  if (MakeDrivePath(path, letter) != 0) return kBadDriveLetter;
  // A drive that is no CD-ROM drive is, for the phone's commands, a drive that cannot be opened.
  if (!link.IsCdRomDrive(letter)) return kOpenFailed;
  switch (link.Open(path)) {
    case OpenResult::AccessDenied:
      return kAccessDenied;
    case OpenResult::Failed:
      return kOpenFailed;
    case OpenResult::Opened:
      break;
  }
  OpenDrive drive(link);
  return SendPassThrough(link, cdb, kCdbLength, destination, dataLength);
}

}  // namespace

bool IsDriveLetter(char letter) {
  return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

int MakeDrivePath(char* path, char letter) {
  if (!IsDriveLetter(letter)) return kBadDriveLetter;
  const char text[kDrivePathSize] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
  std::memcpy(path, text, sizeof text);
  return 0;
}

int SendPassThrough(PhoneLink& link, const uint8_t* cdb, uint8_t cdbLength, void* destination,
                    uint32_t dataLength) {
  if (dataLength > kDataCapacity || cdbLength > sizeof g_passThrough.Header.Cdb) {
    return kExchangeFailed;
  }
  std::memset(&g_passThrough, 0, sizeof g_passThrough);
  PassThroughHeader& header = g_passThrough.Header;
  header.Length = kHeaderSize;
  header.CdbLength = cdbLength;
  header.DataIn = 1;
  header.DataTransferLength = dataLength;
  header.TimeOutValue = kTimeoutSeconds;
  header.DataBufferOffset = kDataOffset;
  header.SenseInfoOffset = kSenseOffset;
  std::memcpy(header.Cdb, cdb, cdbLength);

  uint32_t reported = 0;
  if (!link.Exchange(g_passThrough, kHeaderSize, dataLength + kDataOffset, reported)) {
    return kExchangeFailed;
  }
  // Unsigned on purpose: a report below the header's size wraps round and counts as no data.
  const uint32_t received = reported - kDataOffset;
  if (received > kDataCapacity) return 0;
  // The caller's buffer holds dataLength bytes; a driver that reports more must not overrun it.
  const uint32_t copied = std::min(received, dataLength);
  if (copied > 0) std::memcpy(destination, g_passThrough.Data, copied);
  return static_cast<int>(received);
}

int SendVendorCommand(PhoneLink& link, char letter, uint8_t group, uint8_t code, void* destination,
                      uint32_t dataLength) {
  std::memset(g_vendorCdb, 0, sizeof g_vendorCdb);
  g_vendorCdb[0] = kVendorOpcode;
  g_vendorCdb[1] = group;
  g_vendorCdb[2] = code;
  return SendCommand(link, letter, g_vendorCdb, destination, dataLength);
}

int SendEjectCommand(PhoneLink& link, char letter, void* destination, uint32_t dataLength) {
  // START STOP UNIT with LoEj set and Start clear.
  std::memset(g_ejectCdb, 0, sizeof g_ejectCdb);
  g_ejectCdb[0] = 0x1B;
  g_ejectCdb[4] = 0x02;
  return SendCommand(link, letter, g_ejectCdb, destination, dataLength);
}

int ChangeMode(PhoneLink& link, char letter, ModeCodes mode) {
  uint8_t scratch[32];
  if (SendVendorCommand(link, letter, kGroupChangeMode, mode.first, scratch, 0) == 0) return 1;
  // The phone refused the first form (or answered data it should not have): try the second,
  // which must answer exactly one byte. The byte itself carries nothing of interest.
  return SendVendorCommand(link, letter, kGroupChangeMode, mode.second, scratch, 1) == 1 ? 1 : 0;
}

int ChangeModeToUserSelection(PhoneLink& link, char letter) {
  return SendEjectCommand(link, letter, nullptr, 0) == 0 ? 1 : 0;
}

int GetPhoneData(PhoneLink& link, char letter, uint8_t item, void* buffer, uint32_t length) {
  // Longer requests would overrun the data area; a missing buffer has nowhere to put the answer.
  if (length > kDataCapacity || (buffer == nullptr && length != 0)) return 0;
  return SendVendorCommand(link, letter, kGroupPhoneData, item, buffer, length) >= 0 ? 1 : 0;
}

int SetDriveEnabled(PhoneLink& link, char letter, bool enable) {
  const uint8_t code = enable ? kDriveEnable : kDriveDisable;
  return SendVendorCommand(link, letter, kGroupDriveControl, code, nullptr, 0) == 0 ? 1 : 0;
}

}  // namespace qv::modeswitch
