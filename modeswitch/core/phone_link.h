// The seam between the mode-switch commands and the phone: open the drive's device path, one
// pass-through exchange, close. The Windows build talks to the CD-ROM driver through it; the
// simulated phone implements it for tests.
#pragma once

#include <cstdint>

#include "modeswitch/core/pass_through.h"

namespace qv::modeswitch {

enum class OpenResult { Opened, AccessDenied, Failed };

class PhoneLink {
 public:
  virtual ~PhoneLink() = default;

  // Whether drive `letter` is a CD-ROM drive, the only kind of drive a phone shows itself as.
  // Commands go to no other drive, whoever asks: a vendor command or an eject sent to a disk or a
  // network drive is at best ignored. False leaves the reason in the system's last error.
  virtual bool IsCdRomDrive(char letter) = 0;

  // Opens "\\.\X:" for reading and writing.
  virtual OpenResult Open(const char* devicePath) = 0;

  // One synchronous pass-through request on the opened drive. `inLength` bytes of `buffer` go in,
  // up to `outLength` come back; `bytesReturned` is what the driver reports. False: the request failed.
  virtual bool Exchange(PassThroughBuffer& buffer, uint32_t inLength, uint32_t outLength,
                        uint32_t& bytesReturned) = 0;

  // Closes the drive opened by Open; called once after every successful Open.
  virtual void Close() = 0;
};

}  // namespace qv::modeswitch
