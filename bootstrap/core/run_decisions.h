// The decisions of a run that need no system call: what a start does about another running
// instance, where a PC start goes once the checks are done, and which steps the online and
// offline runs take. The controller asks these and carries out the answer.
#pragma once

#include <functional>

#include "bootstrap/core/usb_mode.h"

namespace qv::bootstrap {

enum class OtherInstanceStep {
  Continue,       // no other instance, or it did not answer: this run goes on
  LeaveToOther,   // it serves the same phone: bring it forward and end without a mode change
  SwitchAndEnd,   // it serves another phone: end with this phone's mode change
};

OtherInstanceStep DecideOtherInstance(bool otherWindowFound, const SameDriveResult& drive);

// The exit of a phone start after its copy dialog: the phone switches its mode unless the copy
// was started on the PC (the copy then carries on with the phone).
bool PhoneStartSwitchesMode(int copyResult);

enum class PcStartStep {
  EndWithModeChange,  // the update check failed abnormally
  RunHidden,          // nothing to download or install: the worker runs without a page
  AskLicence,         // something is due: the licence page asks first
};

PcStartStep DecidePcStart(bool abnormalStatus, bool driverDue, bool toolUpdateDue);

struct OnlinePlan {
  bool download = false;              // fetch the package (and the server's driver installer)
  bool installDriver = false;         // then install the driver
  bool installPause = false;          // no driver: show the installation step a moment instead
  bool needsCompletePackage = false;  // no tool update: start the tool only from a complete package
};

OnlinePlan PlanOnlineRun(bool driverDue, bool toolUpdateDue);

enum class DriverInstallStep {
  SkipForPcTool,  // the PC tool installs the driver itself
  NothingToDo,    // no driver due, or offline without the phone's installer
  Install,
};

// `isOnline` is asked only when the answer depends on it (the question writes trace lines).
DriverInstallStep DecideDriverInstall(bool pcToolInstallsDriver, bool driverDue, bool phoneHasInstaller,
                                      const std::function<bool()>& isOnline);

}  // namespace qv::bootstrap
