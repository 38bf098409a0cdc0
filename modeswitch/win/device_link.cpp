// The shipped phone link: the CD-ROM drive opened by its device path and one
// IOCTL_SCSI_PASS_THROUGH request per command.
#include <windows.h>
#include <ntddscsi.h>

#include <cstddef>
#include <cstring>

#include "common/win/handles.h"
#include "modeswitch/win/phone_link_provider.h"

namespace qv::modeswitch {

static_assert(IOCTL_SCSI_PASS_THROUGH == kIoctlScsiPassThrough);

namespace {

// In a 32-bit process the system's header is exactly the portable one, and the portable buffer
// goes to the driver as it is.
constexpr bool kSystemHeaderIsPortable =
    sizeof(SCSI_PASS_THROUGH) == sizeof(PassThroughHeader) &&
    offsetof(SCSI_PASS_THROUGH, DataIn) == offsetof(PassThroughHeader, DataIn) &&
    offsetof(SCSI_PASS_THROUGH, DataTransferLength) == offsetof(PassThroughHeader, DataTransferLength) &&
    offsetof(SCSI_PASS_THROUGH, TimeOutValue) == offsetof(PassThroughHeader, TimeOutValue) &&
    offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == offsetof(PassThroughHeader, DataBufferOffset) &&
    offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == offsetof(PassThroughHeader, SenseInfoOffset) &&
    offsetof(SCSI_PASS_THROUGH, Cdb) == offsetof(PassThroughHeader, Cdb);
#ifndef _WIN64
static_assert(kSystemHeaderIsPortable, "the 32-bit pass-through header must match the portable layout");
#endif

// A 64-bit process has a larger header: the sense and data areas follow it, with the same sizes.
struct SystemPassThroughBuffer {
  SCSI_PASS_THROUGH Header;
  ULONG Filler;
  UCHAR Sense[32];
  UCHAR Data[kDataCapacity];
};

BOOL ExchangeInSystemLayout(HANDLE device, PassThroughBuffer& buffer, uint32_t outLength, DWORD& returned) {
  SystemPassThroughBuffer request{};
  const PassThroughHeader& portable = buffer.Header;
  request.Header.Length = sizeof(SCSI_PASS_THROUGH);
  request.Header.CdbLength = portable.CdbLength;
  request.Header.SenseInfoLength = portable.SenseInfoLength;
  request.Header.DataIn = portable.DataIn;
  request.Header.DataTransferLength = portable.DataTransferLength;
  request.Header.TimeOutValue = portable.TimeOutValue;
  request.Header.DataBufferOffset = offsetof(SystemPassThroughBuffer, Data);
  request.Header.SenseInfoOffset = offsetof(SystemPassThroughBuffer, Sense);
  std::memcpy(request.Header.Cdb, portable.Cdb, sizeof portable.Cdb);

  const DWORD dataOffset = offsetof(SystemPassThroughBuffer, Data);
  const BOOL ok = ::DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH, &request, sizeof request.Header,
                                    &request, outLength - kDataOffset + dataOffset, &returned, nullptr);
  buffer.Header.ScsiStatus = request.Header.ScsiStatus;
  std::memcpy(buffer.Data, request.Data, sizeof buffer.Data);
  // Report as if the data had come at the portable offset; a report short of the header stays short.
  returned = returned - dataOffset + kDataOffset;
  return ok;
}

class DevicePhoneLink final : public PhoneLink {
 public:
  bool IsCdRomDrive(char letter) override {
    const char root[] = {letter, ':', '\\', '\0'};
    if (::GetDriveTypeA(root) == DRIVE_CDROM) return true;
    ::SetLastError(ERROR_INVALID_DRIVE);
    return false;
  }

  OpenResult Open(const char* devicePath) override {
    m_hDevice.reset(::CreateFileA(devicePath, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    if (m_hDevice) return OpenResult::Opened;
    return ::GetLastError() == ERROR_ACCESS_DENIED ? OpenResult::AccessDenied : OpenResult::Failed;
  }

  bool Exchange(PassThroughBuffer& buffer, uint32_t inLength, uint32_t outLength,
                uint32_t& bytesReturned) override {
    DWORD returned = 0;
    BOOL ok = FALSE;
    if constexpr (kSystemHeaderIsPortable) {
      ok = ::DeviceIoControl(m_hDevice.get(), IOCTL_SCSI_PASS_THROUGH, &buffer, inLength, &buffer,
                             outLength, &returned, nullptr);
    } else {
      ok = ExchangeInSystemLayout(m_hDevice.get(), buffer, outLength, returned);
    }
    bytesReturned = returned;
    return ok != FALSE;
  }

  void Close() override { m_hDevice.reset(); }

 private:
  UniqueFileHandle m_hDevice;
};

}  // namespace

PhoneLink& ThisBuildsPhoneLink() {
  static DevicePhoneLink link;
  return link;
}

}  // namespace qv::modeswitch
