// The device library (QVEUSBAutorun.dll) of this process: never a load-time import, but bound by its
// full path at the first call, from where the portable choice allows (the phone's CD-ROM root, or the
// PC start's copy held with the phone's bytes until it is loaded), and kept loaded until the process
// ends. A program without it treats the phone as one that does not answer.
#pragma once

#include <windows.h>

#include "bootstrap/core/usb_mode.h"
#include "common/win/handles.h"
#include "modeswitch/QVEUSBAutorun.h"

class CDeviceLibrary {
 public:
  // The library of this process, bound at the first call from whichever thread makes it; a library
  // that is refused or fails to load leaves one trace line, and is not tried again.
  static const CDeviceLibrary& Bound();

  // The library's GetPhoneData; 0 without a library.
  int GetPhoneData(char driveLetter, unsigned char item, void* buffer, unsigned long length) const;
  // The export that switches to `mode` (0 Modem ... 5 TET); 0 without a library or for another mode.
  int ChangeMode(int mode, char driveLetter) const;

 private:
  using GetPhoneDataProc = decltype(&::GetPhoneData);  // the header's calling convention
  using ChangeModeProc = decltype(&::ChangeMode2Modem);
#define QV_COUNT_MODE(suffix) +1
  static constexpr int kModeCount = 0 QV_USB_MODES(QV_COUNT_MODE);
#undef QV_COUNT_MODE

  static CDeviceLibrary Bind();
  // Loads `path` and finds the seven exports; why not, or empty when bound.
  std::wstring Load(const std::wstring& path);

  qv::UniqueModule m_hLibrary;
  GetPhoneDataProc m_pGetPhoneData = nullptr;
  ChangeModeProc m_pChangeMode[kModeCount] = {};
};
