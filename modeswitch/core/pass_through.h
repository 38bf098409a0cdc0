// The 1104-byte SCSI pass-through buffer exchanged with the phone's CD-ROM drive: the 32-bit
// SCSI_PASS_THROUGH header, an unused sense area and a 1024-byte data area, with fixed offsets.
// Fixed-width fields keep the layout the same on every compiler, so native tests see the exact
// bytes that the 32-bit driver sees.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::modeswitch {

constexpr uint8_t kCdbLength = 6;
constexpr uint32_t kHeaderSize = 44;
constexpr uint32_t kSenseOffset = 48;
constexpr uint32_t kDataOffset = 80;
constexpr uint32_t kDataCapacity = 1024;
constexpr uint32_t kBufferSize = kDataOffset + kDataCapacity;  // 1104
constexpr uint32_t kTimeoutSeconds = 120;
constexpr uint32_t kIoctlScsiPassThrough = 0x4D004;

struct PassThroughHeader {
  uint16_t Length;
  uint8_t ScsiStatus;
  uint8_t PathId;
  uint8_t TargetId;
  uint8_t Lun;
  uint8_t CdbLength;
  uint8_t SenseInfoLength;
  uint8_t DataIn;
  uint8_t Alignment[3];
  uint32_t DataTransferLength;
  uint32_t TimeOutValue;
  uint32_t DataBufferOffset;
  uint32_t SenseInfoOffset;
  uint8_t Cdb[16];
};

struct PassThroughBuffer {
  PassThroughHeader Header;
  uint8_t Filler[4];
  uint8_t Sense[32];
  uint8_t Data[kDataCapacity];
};

static_assert(offsetof(PassThroughHeader, Length) == 0);
static_assert(offsetof(PassThroughHeader, ScsiStatus) == 2);
static_assert(offsetof(PassThroughHeader, PathId) == 3);
static_assert(offsetof(PassThroughHeader, TargetId) == 4);
static_assert(offsetof(PassThroughHeader, Lun) == 5);
static_assert(offsetof(PassThroughHeader, CdbLength) == 6);
static_assert(offsetof(PassThroughHeader, SenseInfoLength) == 7);
static_assert(offsetof(PassThroughHeader, DataIn) == 8);
static_assert(offsetof(PassThroughHeader, DataTransferLength) == 12);
static_assert(offsetof(PassThroughHeader, TimeOutValue) == 16);
static_assert(offsetof(PassThroughHeader, DataBufferOffset) == 20);
static_assert(offsetof(PassThroughHeader, SenseInfoOffset) == 24);
static_assert(offsetof(PassThroughHeader, Cdb) == 28);
static_assert(sizeof(PassThroughHeader) == kHeaderSize);
static_assert(offsetof(PassThroughBuffer, Sense) == kSenseOffset);
static_assert(offsetof(PassThroughBuffer, Data) == kDataOffset);
static_assert(sizeof(PassThroughBuffer) == kBufferSize);

}  // namespace qv::modeswitch
