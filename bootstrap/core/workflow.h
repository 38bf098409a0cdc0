// The PC start's workflow over the PC and the run's window: the update check, the package
// download, the driver installation, the PC tool's start, the online and offline runs, and the
// phone start's copy of the package. Each step traces what it does and fills the run's fields;
// the main dialog's operations call these and carry the outcome out on the window.
#pragma once

#include <string>

#include "bootstrap/core/driver_steps.h"
#include "bootstrap/core/pc_system.h"
#include "bootstrap/core/run_decisions.h"
#include "bootstrap/core/run_fields.h"

namespace qv::bootstrap {

// "E:\": the root of the phone's drive, where the phone's own files of the package lie; empty
// without a phone drive.
std::wstring PhoneFolderOf(const RunFields& run);

// The update check: asks the update service for the package, and downloads its serverconfig.ini
// into the user's base folder. False offline; a failed check online also marks the run abnormal.
bool GetServerConfig(PcSystem& pc, RunFields& run);

// True when the PC tool's package must be downloaded: nothing installed yet, an older version
// than the server's, or a file of the package missing. False offline.
bool IsRequireUpPXPC(PcSystem& pc, const RunFields& run);

// Every file that serverconfig.ini lists is in the package folder.
bool HasAllPackageFiles(PcSystem& pc, const RunFields& run);

enum class SystemCheck {
  Passed,
  FactoryLine,       // the phone goes to the factory line's mode
  NotAdministrator,  // the user has been told; the run ends with the phone's mode change
};

// The checks before the workflow: a PC of the factory line, the phone's selected mode (stored in
// `selectedMode`, the fallback when the phone does not answer) and the user's rights (`admin`).
SystemCheck CheckPcAndPhone(PcSystem& pc, RunView& view, const std::wstring& phoneDrive, int& selectedMode, int& admin);

// Switches the phone to `mode` at the end of a run. True when it switched, and also when the user
// is no administrator (that run has said all there is to say).
bool ChangePhoneMode(PcSystem& pc, const std::wstring& phoneDrive, int mode, bool admin);

// The PC start's checks before any page shows: the update check, the phone's driver installer,
// whether the driver and the tool are due, and so where the start goes.
PcStartStep PreparePcStart(PcSystem& pc, RunFields& run);

// Downloads what is due (the package's files, then the server's driver installer), reported to
// the usage statistics before and after. False on a failed or cancelled download, and on a file of
// code without the maker's signature where the phone asks for it.
bool DownloadPXPC_Package(PcSystem& pc, RunView& view, RunFields& run);

// Starts the PC tool from the package folder with the phone's drive, model type and `appTitle`;
// where the phone asks for the maker's signature, only beside code of its package that bears it.
bool StartPcTool(PcSystem& pc, RunFields& run, const std::wstring& appTitle);

bool AutoRunOnline(PcSystem& pc, RunView& view, RunFields& run, const std::wstring& appTitle);
bool AutoRunOffline(PcSystem& pc, RunView& view, RunFields& run, const std::wstring& appTitle);

// The worker's whole run, online or offline: true when the tool started and the phone keeps its
// mode, false when the exit must switch it.
bool RunWorkflow(PcSystem& pc, RunView& view, RunFields& run, const std::wstring& appTitle);

// The phone start: copies the files that the FILES section of config.ini in `sourceFolder` (the
// phone's root, with its final backslash) lists into "<base>\<letter>\" and starts the copy of
// the program named `programName` with "-l <letter>". A failure is shown on `view`. 1 when the
// copy started, 0 otherwise.
int CopyPackageToPc(PcSystem& pc, RunView& view, const std::wstring& sourceFolder, const std::wstring& programName);

}  // namespace qv::bootstrap
