// The run's decisions, one function each.
#include "bootstrap/core/run_decisions.h"

namespace qv::bootstrap {

OtherInstanceStep DecideOtherInstance(bool otherWindowFound, const SameDriveResult& drive) {
  if (!otherWindowFound) return OtherInstanceStep::Continue;
  if (drive.same) return OtherInstanceStep::LeaveToOther;
  return drive.otherNoResponse ? OtherInstanceStep::Continue : OtherInstanceStep::SwitchAndEnd;
}

bool PhoneStartSwitchesMode(int copyResult) { return copyResult != 1; }

PcStartStep DecidePcStart(bool abnormalStatus, bool driverDue, bool toolUpdateDue) {
  if (abnormalStatus) return PcStartStep::EndWithModeChange;
  return driverDue || toolUpdateDue ? PcStartStep::AskLicence : PcStartStep::RunHidden;
}

OnlinePlan PlanOnlineRun(bool driverDue, bool toolUpdateDue) {
  OnlinePlan plan;
  plan.download = driverDue || toolUpdateDue;
  plan.installDriver = driverDue;
  plan.installPause = !driverDue && toolUpdateDue;
  plan.needsCompletePackage = !toolUpdateDue;
  return plan;
}

DriverInstallStep DecideDriverInstall(bool pcToolInstallsDriver, bool driverDue, bool phoneHasInstaller,
                                      const std::function<bool()>& isOnline) {
  if (pcToolInstallsDriver) return DriverInstallStep::SkipForPcTool;
  if (!driverDue || (!isOnline() && !phoneHasInstaller)) return DriverInstallStep::NothingToDo;
  return DriverInstallStep::Install;
}

}  // namespace qv::bootstrap
