// Binds the device library by its full path, once per process: the choice of its folder and the
// verdict on a copy are the portable core's; here are the drive type, the holds, the load and the
// exports.
#include "bootstrap/provisioning/device_library.h"

#include "bootstrap/core/device_library_source.h"
#include "bootstrap/core/launch_command.h"
#include "bootstrap/provisioning/files.h"
#include "bootstrap/provisioning/own_program.h"
#include "bootstrap/provisioning/trace_log.h"
#include "common/core/command_line.h"
#include "common/win/held_file.h"

using namespace qv::bootstrap;

namespace {

// The exports in the modes' numbering; ChooseModeChange only gives numbers of this list.
#define QV_MODE_EXPORT_NAME(suffix) "ChangeMode2" #suffix,
constexpr const char* kModeExportNames[] = {QV_USB_MODES(QV_MODE_EXPORT_NAME)};
#undef QV_MODE_EXPORT_NAME

bool IsCdRomRoot(const std::wstring& root) { return ::GetDriveTypeW(root.c_str()) == DRIVE_CDROM; }

}  // namespace

const CDeviceLibrary& CDeviceLibrary::Bound() {
  // Initialised once, by the first caller; any other thread waits for it.
  static const CDeviceLibrary library = [] {
    try {
      return Bind();
    } catch (...) {
      return CDeviceLibrary();  // no library: the phone does not answer
    }
  }();
  return library;
}

CDeviceLibrary CDeviceLibrary::Bind() {
  CDeviceLibrary bound;
  const LaunchCommand command = ParseLaunchCommand(qv::SkipProgramName(::GetCommandLineW()));
  const DeviceLibraryChoice choice =
      ChooseDeviceLibrary(OwnProgramPath(), command.launchDrive, {IsCdRomRoot, GetBaseFolder});
  std::wstring refusal = choice.reason;
  if (choice.way == DeviceLibraryWay::PhoneRoot) {
    refusal = bound.Load(choice.library);
  } else if (choice.way == DeviceLibraryWay::PhonesCopy) {
    // The copy lies where any program of the user can replace it: it is held, so that what is
    // loaded is what was compared, until the load has returned.
    const qv::CHeldFile copy = qv::CHeldFile::Open(choice.library);
    const qv::CHeldFile phone = qv::CHeldFile::Open(choice.phoneLibrary);
    CopyProof proof;
    proof.copyHeld = copy.IsHeld();
    proof.copyError = static_cast<unsigned>(copy.Error());
    proof.phoneHeld = phone.IsHeld();
    proof.phoneError = static_cast<unsigned>(phone.Error());
    proof.sameBytes = copy.HasSameBytes(phone);
    refusal = CopyProofRefusal(proof, choice.phoneLibrary);
    if (refusal.empty()) refusal = bound.Load(copy.Path());
  }
  if (!refusal.empty()) WriteTraceLog(FormatDeviceLibraryRefusal(choice.library, refusal));
  return bound;
}

std::wstring CDeviceLibrary::Load(const std::wstring& path) {
  // A full path loads that file; its own imports (system libraries only) come from the system
  // folder, the only folder the program searches since its start.
  qv::UniqueModule library(::LoadLibraryExW(path.c_str(), nullptr, 0));
  if (!library) return LoadErrorRefusal(L"LoadLibraryExW failed", ::GetLastError());
  const auto find = [&library](const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(library.get(), name));
  };
  GetPhoneDataProc getPhoneData = reinterpret_cast<GetPhoneDataProc>(find("GetPhoneData"));
  if (!getPhoneData) return MissingExportRefusal("GetPhoneData");
  ChangeModeProc changeMode[kModeCount] = {};
  for (int mode = 0; mode < kModeCount; ++mode) {
    changeMode[mode] = reinterpret_cast<ChangeModeProc>(find(kModeExportNames[mode]));
    if (!changeMode[mode]) return MissingExportRefusal(kModeExportNames[mode]);
  }
  m_hLibrary = std::move(library);
  m_pGetPhoneData = getPhoneData;
  for (int mode = 0; mode < kModeCount; ++mode) m_pChangeMode[mode] = changeMode[mode];
  return std::wstring();
}

int CDeviceLibrary::GetPhoneData(char driveLetter, unsigned char item, void* buffer, unsigned long length) const {
  return m_pGetPhoneData ? m_pGetPhoneData(driveLetter, item, buffer, length) : 0;
}

int CDeviceLibrary::ChangeMode(int mode, char driveLetter) const {
  if (mode < 0 || mode >= kModeCount || !m_pChangeMode[mode]) return 0;
  return m_pChangeMode[mode](driveLetter);
}
