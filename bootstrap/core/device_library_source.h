// Where the program may load the device library (QVEUSBAutorun.dll) from, and why not. The program
// runs as administrator, so a library beside it runs with those rights: only the phone's own
// library is loaded, from the phone's CD-ROM root (the phone start), or the PC start's copy of it in
// the relaunch folder once it is proven to hold the phone's bytes. A program started from anywhere
// else loads no library and treats the phone as one that does not answer.
#pragma once

#include <functional>
#include <string>

namespace qv::bootstrap {

constexpr wchar_t kDeviceLibraryName[] = L"QVEUSBAutorun.dll";

enum class DeviceLibraryWay {
  Refused,     // no library is loaded; `reason` says why
  PhoneRoot,   // the program runs from the root of a CD-ROM drive: its library there
  PhonesCopy,  // the PC start from its relaunch folder: the copy there, once it holds the phone's bytes
};

struct DeviceLibraryChoice {
  DeviceLibraryWay way = DeviceLibraryWay::Refused;
  std::wstring library;       // the library beside the program: what is loaded, or what is refused
  std::wstring phoneLibrary;  // PhonesCopy: the phone's library whose bytes the copy must hold
  std::wstring reason;        // Refused: why, for the trace line
};

// The questions the choice asks of the PC, only as far as it needs their answers.
struct DeviceLibraryQueries {
  std::function<bool(const std::wstring& root)> isCdRom;  // "E:\" is a CD-ROM drive
  std::function<std::wstring()> baseFolder;               // the folder that holds the relaunch folders
};

// `programPath` is the program's own file (as the system reports the process's image);
// `launchDrive` is the drive text of a PC start's "-l" (empty on a phone start). A program in the
// root of a CD-ROM drive loads the library there, whatever its command line. A PC start loads the
// copy beside it only when its folder is the relaunch folder of its launch drive (FormatPackageFolder,
// letter case aside) and that drive is a CD-ROM drive; the copy must then prove to be that drive's
// library. Anything else is refused.
DeviceLibraryChoice ChooseDeviceLibrary(const std::wstring& programPath, const std::wstring& launchDrive,
                                        const DeviceLibraryQueries& queries);

// What the holds of a PC start's copy and of the phone's library found.
struct CopyProof {
  bool copyHeld = false;
  unsigned copyError = 0;  // why the copy could not be held
  bool phoneHeld = false;
  unsigned phoneError = 0;  // why the phone's library could not be held
  bool sameBytes = false;   // both held, and their bytes are the same
};

// Why the copy may not be loaded, or empty when it is proven the phone's library.
std::wstring CopyProofRefusal(const CopyProof& proof, const std::wstring& phoneLibrary);

// "<what> (error <error>)": a step of the load that failed with a system error.
std::wstring LoadErrorRefusal(const wchar_t* what, unsigned error);

// "no export <name>": a library without one of the exports the program calls.
std::wstring MissingExportRefusal(const char* name);

// "[QVEUSBAutorun.dll] [<library>] not loaded: <reason>\r\n": the one trace line of a library the
// process does not use.
std::wstring FormatDeviceLibraryRefusal(const std::wstring& library, const std::wstring& reason);

}  // namespace qv::bootstrap
