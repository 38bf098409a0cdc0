// The workflow's USB driver steps over the PC: the phone's installer, whether the driver is due, and
// its installation, with the trace lines of the driver manager. The decisions are the portable
// ones of driver_decisions.h; the PC only answers plain questions and starts the installer.
#include "bootstrap/core/driver_steps.h"

#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/driver_decisions.h"
#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/failure_trace.h"
#include "bootstrap/core/folder_holds.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/progress_step.h"
#include "bootstrap/core/run_decisions.h"
#include "bootstrap/core/text_util.h"
#include "bootstrap/core/version_text.h"
#include "common/core/decimal_text.h"

namespace qv::bootstrap {
namespace {

const wchar_t kDriverInstall[] = L"InstallDriver()";
const wchar_t kDriverFailedMessage[] = L"QV USB modem driver is not installed.\nReinstall QV USB modem driver.";

// The system's errors of a start that did not happen.
constexpr unsigned kErrorPathNotFound = 3;
constexpr unsigned kErrorOutOfMemory = 14;

}  // namespace

std::wstring GetPreloadDriver(PcSystem& pc, RunFields& run) {
  pc.Trace(Joined({L"GetPreloadDriver ExePath = [", run.m_strModulePath, L"]\r\n"}));
  const std::wstring preload = pc.ReadProgramConfig(L"DRIVER", L"preload");
  const std::wstring preloadType = pc.ReadProgramConfig(L"DRIVER", L"preload_type");
  const PreloadDriver found = FindPreloadDriver(run.m_strModulePath, preload, preloadType, run.m_nPreloadType);
  if (found.path.empty()) {
    pc.Trace(L"This device not support preload driver\r\n");
    return std::wstring();
  }
  if (found.unison) run.m_strPreloadType = kUnisonPreloadType;
  pc.Trace(Joined({L"Preload Driver[", preload, L"], Type[", preloadType, L"]\r\n"}));
  pc.Trace(Joined({L"Path to copy preload driver[", found.path, L"]\r\n"}));
  run.m_nPreloadType = found.type;
  return found.path;
}

std::wstring LaunchDriveOf(const RunFields& run) {
  return run.m_strPhoneDrive.size() == 1 ? run.m_strPhoneDrive : std::wstring();
}

DriverPackage DriverPackageOf(PcSystem& pc, const RunFields& run) {
  DriverPackage package;
  package.preloadSame = run.m_bPreloadSame != 0;
  package.preloadDriver = run.m_strPreloadDriver;
  package.serverDriver = run.m_strDriverPath;
  package.launchDrive = LaunchDriveOf(run);
  package.preloadName = SafePreloadName(pc.ReadProgramConfig(L"DRIVER", L"preload"));
  package.programFolder = run.m_strModulePath;
  package.preloadType = run.m_nPreloadType;
  return package;
}

bool IsInstalledDriver(PcSystem& pc, int type) {
  pc.Trace(L"[IsInstalledDriver()] START..............\r\n");
  const std::wstring programFiles = pc.ProgramFilesFolder();
  if (programFiles.empty()) return false;
  const InstalledDriverCheck check =
      CheckInstalledDriver(programFiles, type, [&pc](const std::wstring& path) { return pc.FileExists(path); });
  for (const DriverFolderCount& pass : check.passes) {
    pc.Trace(Joined({L"IsInstalledDriver:\t[", pass.folder, L"][", DecimalText(pass.missing), L"]\n"}));
  }
  pc.Trace(L"[IsInstalledDriver()] END..............\r\n");
  return check.installed;
}

bool IsDriverVersionOutdated(PcSystem& pc, const RunFields& run, int type, bool online) {
  const wchar_t* section = DriverVersionSection(online);
  auto readKey = [&](const std::wstring& key) {
    return online ? pc.ReadProfileString(run.m_strServerConfigFile, section, key) : pc.ReadProgramConfig(section, key);
  };
  auto exists = [&pc](const std::wstring& path) { return pc.FileExists(path); };
  auto fileVersion = [&pc](const std::wstring& path) { return pc.FileVersion(path); };
  return IsDriverVersionOutdated(type, GetDriverFolder(pc.ProgramFilesFolder(), type), readKey, exists, fileVersion);
}

bool IsCurrentDriverInstalled(PcSystem& pc, int preloadType) {
  return IsInstalledDriver(pc, CurrentDriverType(pc.IsOnline(), preloadType));
}

bool IsRequireUpDrv(PcSystem& pc, const RunFields& run) {
  pc.Trace(L"[IsRequireUpDrv()] START..............\r\n");
  const bool online = pc.IsOnline();
  const std::wstring& serverConfigFile = run.m_strServerConfigFile;
  const bool overwrite = !serverConfigFile.empty() &&
                         IsFlagTrue(pc.ReadProfileString(serverConfigFile, L"FILES_DRIVER", L"unison_overwrite"));
  const DriverQueries queries{
      [&pc](int type) { return IsInstalledDriver(pc, type); },
      [&pc, &run](int type, bool isOnline) { return IsDriverVersionOutdated(pc, run, type, isOnline); }};
  return DecideRequireUpDrv(online, run.m_nPreloadType, overwrite, queries);
}

InstallerRun RunInstaller(PcSystem& pc, const std::wstring& path, const std::wstring& option, bool msi) {
  InstallerRun run;
  ProgramStart start;
  try {
    pc.Trace(Joined({L"Install Driver Full Path Name = ", path, L"\n"}));
    const InstallerCommand command = InstallerCommandOf(pc.SystemFolder(), path, option, msi);
    if (command.program.empty()) {
      run.error = kErrorPathNotFound;
      return run;
    }
    start = pc.StartProgram(command.program, command.arguments, command.folder);
  } catch (...) {
    pc.Trace(L"*** Exception Run Installer ***\r\n");
    run.error = kErrorOutOfMemory;
    return run;
  }
  run.error = start.error;
  if (!start.program) return run;
  run.started = true;
  run.ended = start.program->WaitForEnd(kInstallerWaitMs, run.exitCode);
  return run;
}

bool InstallDriver(PcSystem& pc, RunView& view, const RunFields& run) {
  auto online = [&pc] { return pc.IsOnline(); };
  switch (DecideDriverInstall(run.m_bPxpcInstallsDriver != 0, run.m_bRequireDrv == 1, !run.m_strPreloadDriver.empty(),
                              online)) {
    case DriverInstallStep::SkipForPcTool:
      pc.Trace(L"[CUSBAutoRunDlg::InstallDriver()] SKIP.............\r\n");
      return true;
    case DriverInstallStep::NothingToDo:
      return true;
    case DriverInstallStep::Install:
      break;
  }
  view.SetProgressDisplay(ProgressDisplay::Install, false);
  const bool installed = InstallDriverPackage(pc, view, DriverPackageOf(pc, run));
  view.SetProgressDisplay(ProgressDisplay::Install, true);
  if (!installed) {
    pc.Trace(L"[AutoRun_PXBootstrap()] InstallDriver() ==> FALSE...\r\n");
    Warn(pc, view, kDriverFailedMessage);
    return false;
  }
  view.RaiseProgress(kProgressMax);
  return true;
}

bool CopyPreloadDriver(PcSystem& pc, const DriverPackage& package, const std::wstring& target) {
  if (target.empty()) return false;
  if (package.launchDrive.empty()) {
    pc.Trace(L"Failed to get drive path\r\n");
    return false;
  }
  const std::wstring root = FormatDriveRoot(package.launchDrive[0]);
  pc.Trace(Joined({L"GetPreloadDriver ExePath = [", root, L"]\r\n"}));
  const std::wstring source = root + package.preloadName;
  pc.Trace(Joined({L"Copy Preload Driver Path = [", source, L"]\r\n"}));
  // Nothing is written through a link in the program's folder, which is held while it is written.
  std::wstring cause;
  if (package.preloadName.empty()) {
    cause = L"the phone names no driver installer";
  } else if (const std::unique_ptr<FolderHold> held = HoldFolderOrRefuse(pc, FolderOfPath(target))) {
    if (!pc.IsFreeOfLinks(package.programFolder, package.preloadName)) {
      cause = LinkCause(target);
    } else if (const FileResult copied = pc.CopyFileOver(source, target)) {
      pc.Trace(L"Copy Preload Driver - OK\r\n");
      return true;
    } else {
      cause = SystemErrorCause(pc, copied.error);
    }
  }
  pc.Trace(Joined({L"CopyFile Failed Src[", source, L"], Target[", target, L"]\r\n"}));
  TraceCause(pc, kDriverInstall, cause);
  return false;
}

namespace {

// Traces what became of an installer's run (its exit code, or why there is none) and keeps it, for
// the cause of a failed installation.
void TraceInstallerRun(PcSystem& pc, const InstallerRun& run, std::wstring& outcome) {
  if (!run.started) {
    pc.Trace(Joined({L"[InstallDriver : the installer did not start (", DecimalText(run.error), L")]\r\n"}));
    outcome = L"the installer did not start: " + SystemErrorCause(pc, run.error);
  } else if (!run.ended) {
    outcome = Joined({L"the installer has not ended after ", DecimalText(kInstallerWaitMs / 1000), L" s"});
    pc.Trace(L"[InstallDriver : " + outcome + L"]\r\n");
  } else {
    outcome = L"the installer ended with exit code " + DecimalText(run.exitCode);
    pc.Trace(L"[InstallDriver : " + outcome + L"]\r\n");
  }
}

}  // namespace

bool InstallDriverPackage(PcSystem& pc, RunView& view, const DriverPackage& package) {
  std::wstring installer;
  bool fromPhone = false;
  switch (ChooseDriverInstaller(pc.IsOnline(), package.preloadSame, package.preloadDriver)) {
    case DriverInstallerSource::Server:
      pc.Trace(L"Driver install from server\r\n");
      installer = package.serverDriver;
      break;
    case DriverInstallerSource::Preload:
      if (!CopyPreloadDriver(pc, package, package.preloadDriver)) return false;
      installer = package.preloadDriver;
      fromPhone = true;
      break;
    case DriverInstallerSource::None:
      return false;
  }
  pc.Trace(L"[CUSBAutoRunDlg::InstallDriver()] START.............\r\n");
  if (!IsUsableInstallerPath(installer)) {
    pc.Trace(L"[InstallDriver : strDrvPath.IsEmpty()] return code : TRUE\r\n");
    return false;
  }
  // An installer in a folder that is a link, or that is one itself, is not started; its folder is
  // held until the installer has ended.
  const std::wstring folder = FolderOfPath(installer);
  const std::unique_ptr<FolderHold> folderHold = HoldFolderOrRefuse(pc, folder);
  if (!folderHold) return false;
  const bool exists = pc.FileExists(installer);
  if (!exists || !pc.IsFreeOfLinks(folder, installer.substr(folder.size() + 1))) {
    pc.Trace(Joined({L"Drv Setup Filename : ", installer, L"\n"}));
    pc.Trace(L"[InstallDriver : IsExistFile(strPath)] return code : FALSE\r\n");
    TraceCause(pc, kDriverInstall, exists ? LinkCause(installer) : L"[" + installer + L"] is not there, or is in use");
    return false;
  }
  // The phone's installer, copied where any program of the user can replace it, is installed only
  // while it holds the phone's bytes; the server's came over plain HTTP and is installed only with
  // the maker's signature where the phone asks for it. Either stays held until the installer ends.
  std::unique_ptr<FileHold> held;
  if (fromPhone) {
    const std::wstring phoneInstaller = package.launchDrive.empty() || package.preloadName.empty()
                                            ? std::wstring()
                                            : FormatDriveRoot(package.launchDrive[0]) + package.preloadName;
    unsigned error = 0, phoneError = 0;
    held = pc.HoldPhonesCopy(installer, phoneInstaller, error, phoneError);
    if (!held) {
      pc.Trace(Joined({L"Preload Driver[", installer, L"] is not the phone's file[", phoneInstaller, L"] (",
                       DecimalText(error), L")\r\n"}));
      return false;
    }
  } else {
    held = pc.HoldSignedByMaker(installer);
    if (!held) return false;
  }
  const bool msi = IsMsiPackage(installer);
  std::wstring outcome;
  pc.Trace(L"[InstallDriver : MsgWaitForMultipleObjects 1]\r\n");
  if (msi) TraceInstallerRun(pc, RunInstaller(pc, installer, kMsiRemove, true), outcome);
  pc.Trace(L"[InstallDriver : MsgWaitForMultipleObjects 2]\r\n");
  TraceInstallerRun(pc, RunInstaller(pc, installer, kMsiInstall, msi), outcome);
  pc.Trace(L"[InstallDriver : MsgWaitForMultipleObjects ENd]\r\n");
  const bool installed = IsCurrentDriverInstalled(pc, package.preloadType);
  view.BringToFront();
  if (!installed) {
    pc.Trace(L"[InstallDriver()] IsInstalledDriver() return code : FALSE\r\n");
    TraceCause(pc, kDriverInstall, outcome + L", and the driver's files are not installed");
    return false;
  }
  pc.Trace(L"[CUSBAutoRunDlg::InstallDriver()] END.............\r\n");
  return true;
}

}  // namespace qv::bootstrap
