// The library's exports: plain names (see the .def file), caller-cleans, results 1 or 0.
// Each export is an exception boundary; the entry point does nothing.
#include <windows.h>

#include "modeswitch/QVEUSBAutorun.h"
#include "modeswitch/core/mode_switch.h"
#include "modeswitch/win/phone_link_provider.h"

namespace {

using namespace qv::modeswitch;

template <typename F>
int Guarded(F command) noexcept {
  try {
    return command(ThisBuildsPhoneLink());
  } catch (...) {
    return 0;
  }
}

int SwitchTo(char letter, ModeCodes mode) {
  return Guarded([&](PhoneLink& link) { return ChangeMode(link, letter, mode); });
}

}  // namespace

extern "C" {

int __cdecl ChangeMode2Modem(char driveLetter) { return SwitchTo(driveLetter, kModeModem); }
int __cdecl ChangeMode2MTP(char driveLetter) { return SwitchTo(driveLetter, kModeMtp); }
int __cdecl ChangeMode2UMS(char driveLetter) { return SwitchTo(driveLetter, kModeUms); }
int __cdecl ChangeMode2ASK(char driveLetter) { return SwitchTo(driveLetter, kModeAsk); }
int __cdecl ChangeMode2CGO(char driveLetter) { return SwitchTo(driveLetter, kModeCgo); }
int __cdecl ChangeMode2TET(char driveLetter) { return SwitchTo(driveLetter, kModeTet); }

int __cdecl ChangeMode2UserSelection(char driveLetter) {
  return Guarded([&](PhoneLink& link) { return ChangeModeToUserSelection(link, driveLetter); });
}

int __cdecl GetPhoneData(char driveLetter, unsigned char item, void* buffer, unsigned long length) {
  return Guarded([&](PhoneLink& link) {
    return qv::modeswitch::GetPhoneData(link, driveLetter, item, buffer, static_cast<uint32_t>(length));
  });
}

int __cdecl SetCDEnable(char driveLetter) {
  return Guarded([&](PhoneLink& link) { return SetDriveEnabled(link, driveLetter, true); });
}

int __cdecl SetCDDisable(char driveLetter) {
  return Guarded([&](PhoneLink& link) { return SetDriveEnabled(link, driveLetter, false); });
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
