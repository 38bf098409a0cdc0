// The workflow's steps, in the order and with the trace lines that support reads.
#include "bootstrap/core/workflow.h"

#include <optional>
#include <vector>

#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/driver_decisions.h"
#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/failure_trace.h"
#include "bootstrap/core/folder_holds.h"
#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/package_rules.h"
#include "bootstrap/core/package_staging.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/progress_step.h"
#include "bootstrap/core/run_decisions.h"
#include "bootstrap/core/text_util.h"
#include "bootstrap/core/usb_mode.h"
#include "bootstrap/core/version_text.h"
#include "common/core/code_content.h"
#include "common/core/decimal_text.h"
#include "common/core/download_rules.h"

namespace qv::bootstrap {
namespace {

// serverconfig.ini is small: a server that takes longer than this for it, or falls silent, has
// failed the check (the program waits without a window meanwhile).
constexpr DownloadLimits kServerConfigLimits{60000, 60000};

constexpr int kProgressPackageBeforeDriver = 500;  // package files done, driver still to come
constexpr int kProgressDownloadsDone = 1000;
constexpr uint32_t kInstallPauseMs = 3000;

const wchar_t kDownloadFailedMessage[] =
    L"RO Zeru Zav download is failed.\nPlease try again when Internet access is available.";

std::wstring ReadServerConfig(PcSystem& pc, const RunFields& run, const wchar_t* section, const std::wstring& key) {
  return pc.ReadProfileString(run.m_strServerConfigFile, section, key);
}

const wchar_t kUpdateCheck[] = L"IsRequireUpPXPC()";
const wchar_t kPackageDownload[] = L"DownloadPXPC_Package()";
const wchar_t kToolStart[] = L"RunPXPC()";

// Asks the update service for the package's URL; false, traced, when it named none.
// `cause`: what the library told of a list that named no complete package, for a URL refused next.
bool QueryPackageUrl(PcSystem& pc, const RunFields& run, const std::string& testVersion, std::wstring& url,
                     std::wstring& cause) {
  const PackageQuery answer = pc.CheckPxpc(run.m_strModulePath, PhoneFolderOf(run), testVersion);
  switch (answer.call) {
    case LibraryCall::NotLoaded:
      pc.Trace(L"[IsRequireUpPXPC()] LoadLibrary is failed..\r\n");
      return false;
    case LibraryCall::NoExport:
      pc.Trace(L"[IsRequireUpPXPC()] GetProcAddress(CheckPXPC) is failed..\r\n");
      return false;
    case LibraryCall::Threw:
      pc.Trace(L"[IsRequireUpPXPC()] pFuncChkPXPC Error.(try..catch)\r\n");
      return false;
    case LibraryCall::Returned:
      break;
  }
  if (answer.named == 0) {
    pc.Trace(std::wstring(L"[IsRequireUpPXPC()] CheckPXPC return MSG is (") + CheckFailureWord(answer.resultWord) +
             L").......\r\n");
    pc.Trace(L"[IsRequireUpPXPC()] CheckPXPC return is FALSE.......\r\n");
    TraceCause(pc, kUpdateCheck, answer.cause);
    return false;
  }
  url = answer.downloadUrl;
  cause = answer.cause;
  return true;
}

bool FetchServerConfigOnline(PcSystem& pc, RunFields& run) {
  const std::wstring base = pc.BaseFolder();
  if (base.empty()) {
    pc.Trace(L"[IsRequireUpPXPC()] PX_PC Download PC Path find failed.......\r\n");
    return false;
  }
  run.m_strDownloadPath = PackageFolderIn(base);
  const std::wstring folder = run.m_strDownloadPath.substr(0, run.m_strDownloadPath.size() - 1);
  // Nothing is created or written through a base folder that is a link.
  if (!pc.IsFolder(folder)) {
    const bool linkFree = pc.IsFreeOfLinks(base, std::wstring());
    const FileResult created = linkFree ? pc.CreateFolder(folder) : FileResult{};
    if (!linkFree || !created) {
      pc.Trace(L"[IsRequireUpPXPC()] Create failed PX_PC Download PC Path.......\r\n");
      TraceCause(pc, kUpdateCheck, linkFree ? SystemErrorCause(pc, created.error) : LinkCause(base));
      return false;
    }
  }
  const std::wstring localConfig = base + L"\\serverconfig.ini";
  // A test version that does not fit the library's buffer would ask for some other version.
  const std::string testVersion = pc.NarrowText(run.m_strPxpcTestVer);
  if (testVersion.size() >= kTestVersionBufferBytes) {
    pc.Trace(L"[IsRequireUpPXPC()] Test version is too long.......\r\n");
    return false;
  }
  std::wstring named, listCause;
  if (!QueryPackageUrl(pc, run, testVersion, named, listCause)) return false;
  const std::optional<std::wstring> url = PackageBaseUrl(named);
  const std::wstring namedCause = L"the service named [" + named + L"]";
  if (!url) {
    pc.Trace(L"[IsRequireUpPXPC()] PX_PC Download URL is not valid.......\r\n");
    TraceCause(pc, kUpdateCheck, listCause.empty() ? namedCause : listCause);
    return false;
  }
  // Any other scheme reaches local files, shares and servers without a deadline or a size limit.
  if (!IsHttpAddress(*url)) {
    pc.Trace(L"[IsRequireUpPXPC()] PX_PC Download URL is not HTTP.......\r\n");
    TraceCause(pc, kUpdateCheck, namedCause);
    return false;
  }
  run.m_strDownloadURL = *url;
  const std::unique_ptr<FolderHold> baseHold = HoldFolderOrRefuse(pc, base);
  const bool linkFree = baseHold && pc.IsFreeOfLinks(base, L"serverconfig.ini");
  const DownloadResult downloaded =
      linkFree ? pc.Download(run.m_strDownloadURL + L"serverconfig.ini", localConfig, kServerConfigLimits, nullptr,
                             *baseHold)
               : DownloadResult{};
  if (!downloaded) {
    pc.Trace(L"[IsRequireUpPXPC()] Fail of download (serverconfig.ini).......\r\n");
    // A folder that cannot be held has its own line already.
    TraceCause(pc, kUpdateCheck, baseHold && !linkFree ? LinkCause(localConfig) : downloaded.cause);
    return false;
  }
  run.m_strServerConfigFile = localConfig;
  return true;
}

// The failed file's line, then why it failed.
void TraceFailedFile(PcSystem& pc, const std::wstring& name, const std::wstring& cause) {
  pc.Trace(L"[DownloadPXPC_Package()] Fail of download file.....(" + name + L")\r\n");
  TraceCause(pc, kPackageDownload, cause);
}

// Where the phone asks for the maker's signature, proves the package file `name` of `folder`: a
// file of code (a program or library, an installer package or a cabinet by its content, or a name
// Windows runs) is held and must bear the signature; its hold goes to `kept` when given (else it
// ends here). Anything else is data, taken as it comes. False, traced, when the file cannot be
// held or its signature is refused.
bool ProvePackageFile(PcSystem& pc, const std::wstring& folder, const std::wstring& name,
                      std::unique_ptr<FileHold>* kept) {
  if (!pc.IsSignatureRequired()) return true;
  const std::wstring path = folder + name;
  std::string head;
  std::unique_ptr<FileHold> held = pc.HoldFile(path, kCodeHeadBytes, head);
  if (!held) {
    pc.Trace(L"[SIGNATURE] [" + path + L"] refused, it cannot be held\r\n");
    return false;
  }
  if (!IsCodeFile(name, reinterpret_cast<const unsigned char*>(head.data()), head.size())) return true;
  if (!pc.IsHeldSignedByMaker(*held)) return false;
  if (kept) *kept = std::move(held);
  return true;
}

// One file of the package into the update's fresh folder: refused when its name leaves the folder
// or the package folder holds a link under it, the cancel honoured, then fetched and proven. The
// installed file stays as it is until the whole update has arrived. False on any of these failures.
bool DownloadPackageFile(PcSystem& pc, RunFields& run, PackageStaging& staging, const std::wstring& baseUrl,
                         const std::wstring& name, const wchar_t* cancelTrace) {
  // A name that would reach outside the package folder is never fetched, and neither is anything
  // for a package folder or file that is a link.
  if (!IsSafePackageFileName(name)) {
    TraceFailedFile(pc, name, L"the name leaves the package folder or names a device");
    return false;
  }
  if (!pc.IsFreeOfLinks(run.m_strDownloadPath, name)) {
    TraceFailedFile(pc, name, LinkCause(run.m_strDownloadPath + name));
    return false;
  }
  if (run.m_bUserCancel) {
    pc.Trace(cancelTrace);
    return false;
  }
  std::wstring path;
  const FolderHold* folder = staging.Prepare(name, path);
  if (!folder) {
    TraceFailedFile(pc, name, L"the update's folder cannot be made or held for it");
    return false;
  }
  // A package file may take long, but never a minute without data. Cancel stops the transfer
  // under way, and is then the user's cancel rather than a failed file.
  const DownloadResult downloaded = pc.Download(baseUrl + name, path, DownloadLimits{}, &run.m_bUserCancel, *folder);
  if (!downloaded) {
    if (run.m_bUserCancel) {
      pc.Trace(cancelTrace);
      TraceCause(pc, kPackageDownload, downloaded.cause);
    } else {
      TraceFailedFile(pc, name, downloaded.cause);
    }
    return false;
  }
  // Code that does not bear the maker's signature fails the download and is not left behind. What
  // passes is proven again, and held, right before the tool that may load it starts.
  if (!ProvePackageFile(pc, staging.Folder(), name, nullptr)) {
    pc.RemoveFile(path);
    TraceFailedFile(pc, name, L"the maker's signature is required and was refused");
    return false;
  }
  staging.Arrived(name);
  return true;
}

bool DownloadPackageFiles(PcSystem& pc, RunView& view, RunFields& run, PackageStaging& staging,
                          const std::wstring& baseUrl) {
  const int count = FileListCount(ReadServerConfig(pc, run, L"FILES_PXPC", kFileCountKey));
  for (int i = 0; i < count; ++i) {
    const std::wstring name = ReadServerConfig(pc, run, L"FILES_PXPC", FileListKey(i));
    if (!DownloadPackageFile(pc, run, staging, baseUrl, name, L"[DownloadPXPC_Package()] User Cancel (1)\r\n")) {
      return false;
    }
  }
  view.RaiseProgress(run.m_bRequireDrv == 1 ? kProgressPackageBeforeDriver : kProgressDownloadsDone);
  return true;
}

bool DownloadServerDriver(PcSystem& pc, RunView& view, RunFields& run, PackageStaging& staging,
                          const std::wstring& baseUrl, bool& endReportDue) {
  auto readKey = [&](const std::wstring& key) { return ReadServerConfig(pc, run, L"FILES_DRIVER", key); };
  const ServerDriverChoice choice = ChooseServerDriver(run.m_strPreloadType, run.m_strPreloadDriver, readKey);
  switch (choice.step) {
    case ServerDriverStep::PcToolInstalls:
      run.m_bPxpcInstallsDriver = 1;
      return true;
    case ServerDriverStep::SameAsPreload:
      pc.Trace(L"Server and preload is same\r\n");
      run.m_bPreloadSame = 1;
      endReportDue = true;
      view.RaiseProgress(kProgressDownloadsDone);
      return true;
    case ServerDriverStep::Refuse:
      TraceFailedFile(pc, choice.name, L"serverconfig.ini names a driver installer outside the package folder");
      return false;
    case ServerDriverStep::Download:
      break;
  }
  if (!DownloadPackageFile(pc, run, staging, baseUrl, choice.name, L"[DownloadPXPC_Package()] User Cancel (2)\r\n")) {
    return false;
  }
  run.m_strDriverPath = run.m_strDownloadPath + choice.name;  // where it is once the update is in place
  view.RaiseProgress(kProgressDownloadsDone);
  return true;
}

}  // namespace

std::wstring PhoneFolderOf(const RunFields& run) {
  return run.m_strPhoneDrive.empty() ? std::wstring() : FormatDriveRoot(run.m_strPhoneDrive[0]);
}

bool GetServerConfig(PcSystem& pc, RunFields& run) {
  if (!pc.IsOnline()) return false;
  if (FetchServerConfigOnline(pc, run)) return true;
  run.m_bAbnormalStatus = 1;
  return false;
}

bool IsRequireUpPXPC(PcSystem& pc, const RunFields& run) {
  pc.Trace(L"[IsRequireUpPXPC()] START..............\r\n");
  if (!pc.IsOnline()) return false;
  const std::wstring serverVersion = ReadServerConfig(pc, run, L"PXPACKAGE", L"pack_version");
  const std::wstring localConfig = run.m_strDownloadPath + L"pxpcconfig.ini";
  if (!pc.FileExists(localConfig)) return true;  // nothing installed yet
  const std::wstring localVersion = pc.ReadProfileString(localConfig, L"PXPACKAGE", L"pack_version");
  const bool newer = IsNewerVersion(localVersion, serverVersion);
  pc.Trace(L"[IsRequireUpPXPC()] END..............\r\n");
  return newer || !HasAllPackageFiles(pc, run);
}

bool HasAllPackageFiles(PcSystem& pc, const RunFields& run) {
  auto readKey = [&](const std::wstring& key) { return ReadServerConfig(pc, run, L"FILES_PXPC", key); };
  return AllPackageFilesPresent(run.m_strDownloadPath, readKey, [&pc](const std::wstring& path) { return pc.FileExists(path); });
}

SystemCheck CheckPcAndPhone(PcSystem& pc, RunView& view, const std::wstring& phoneDrive, int& selectedMode,
                            int& admin) {
  pc.Trace(L"[CheckSystem()] START...............\r\n");
  if (pc.IsFactoryLine()) {
    pc.Trace(L"[CheckSystem()] This is Factory Line.......\r\n");
    selectedMode = kFactoryLineMode;
    return SystemCheck::FactoryLine;
  }
  unsigned char answer = kSelectedModeBufferFill;
  const bool answered = pc.ReadSelectedMode(DriveLetterOf(phoneDrive), answer);
  selectedMode = SelectedModeFromPhone(answered, answer);
  pc.Trace(answered ? L"[CheckSystem()] Get User Selection Mode Command is Success.....\r\n"
                    : L"[CheckSystem()] Get User Selection Mode Command is Failed\r\n");
  admin = pc.IsAdministrator() ? 1 : 0;
  if (!admin) {
    pc.Trace(L"[CheckSystem()] Admin is FALSE...\r\n");
    Warn(pc, view,
         L"[NOTIFICATION]\nThis computer is not logged in as Administrator account.\n"
         L"The Autorun feature is not working under User account.");
    pc.Trace(L"[CheckSystem()] END...............\r\n");
    return SystemCheck::NotAdministrator;
  }
  pc.Trace(Joined({L"[CheckSystem()] User Selection Mode is (", DecimalText(selectedMode), L"), Admin is (",
                   DecimalText(admin), L")\r\n"}));
  pc.Trace(L"[CheckSystem()] END...............\r\n");
  return SystemCheck::Passed;
}

bool ChangePhoneMode(PcSystem& pc, const std::wstring& phoneDrive, int mode, bool admin) {
  pc.Trace(L"[ModeChange()] START.......................\r\n");
  const ModeChangeChoice choice = ChooseModeChange(mode);
  switch (pc.SwitchMode(choice.mode, DriveLetterOf(phoneDrive))) {
    case PhoneSwitch::Switched:
      pc.Trace(FormatModeChangeTrace(choice, phoneDrive));
      pc.Trace(L"[ModeChange()] Mode change success.......................\r\n");
      return true;
    case PhoneSwitch::Failed:
      pc.Trace(FormatModeChangeTrace(choice, phoneDrive));
      break;
    case PhoneSwitch::Threw:
      pc.Trace(L"[ModeChange()] Error (catch).......................\r\n");
      break;
  }
  pc.Trace(L"[ModeChange()] Mode change failed.......................\r\n");
  return IsModeChangeDone(false, admin);
}

PcStartStep PreparePcStart(PcSystem& pc, RunFields& run) {
  const bool serverConfig = GetServerConfig(pc, run);
  run.m_strPreloadDriver = GetPreloadDriver(pc, run);
  run.m_bRequireDrv = IsRequireUpDrv(pc, run) ? 1 : 0;
  if (serverConfig) run.m_bRequireUpPxpc = IsRequireUpPXPC(pc, run) ? 1 : 0;
  return DecidePcStart(run.m_bAbnormalStatus == 1, run.m_bRequireDrv != 0, run.m_bRequireUpPxpc != 0);
}

bool DownloadPXPC_Package(PcSystem& pc, RunView& view, RunFields& run) {
  pc.Trace(L"[DownloadPXPC_Package()] START...................\r\n");
  if (run.m_strServerConfigFile.empty()) {
    pc.Trace(L"[DownloadPXPC_Package()] ServerConfigFile name is empty......\r\n");
    return false;
  }
  if (run.m_strDownloadURL.empty()) {
    pc.Trace(L"[DownloadPXPC_Package()] Download URL is empty.........\r\n");
    return false;
  }
  if (run.m_strDownloadPath.empty()) {
    pc.Trace(L"[DownloadPXPC_Package()] Download PC path is empty.........\r\n");
    return false;
  }
  const std::wstring baseUrl = WithTrailingSlash(run.m_strDownloadURL);

  LibraryCall failure = LibraryCall::NotLoaded;
  const std::unique_ptr<UsageReport> report = pc.OpenUsageReport(run.m_strModulePath, PhoneFolderOf(run), failure);
  if (!report) {
    pc.Trace(failure == LibraryCall::NoExport ? L"[DownloadPXPC_Package()] Library function failed.........\r\n"
                                              : L"[DownloadPXPC_Package()] LoadLibrary(QVUTchkdl.dll) failed.........\r\n");
    return false;
  }
  const UsageAnswer started = report->Report(std::string(), "START");
  if (started.call == LibraryCall::Threw) {
    pc.Trace(L"[DownloadPXPC_Package()] pFuncUpdateGBCSync(1) Failed. (try...catch)\r\n");
    return false;
  }
  bool endReportDue = started.result == 1;

  bool succeeded = true;
  {
    PackageStaging staging(pc, run.m_strDownloadPath);
    if (run.m_bRequireUpPxpc == 1) succeeded = DownloadPackageFiles(pc, view, run, staging, baseUrl);
    if (succeeded && run.m_bRequireDrv == 1) {
      succeeded = DownloadServerDriver(pc, view, run, staging, baseUrl, endReportDue);
    }
    std::wstring failed;
    if (succeeded && !staging.Commit(failed)) {
      TraceFailedFile(pc, failed, L"the downloaded file could not take its place in the package folder");
      succeeded = false;
    }
  }  // what is left of the update's folder goes; the installed package stays as it is

  if (endReportDue) {
    pc.Trace(L"[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Success.\r\n");
    const UsageAnswer ended = report->Report(started.historyId, succeeded ? "OK" : "FAIL");
    if (ended.call == LibraryCall::Threw) {
      pc.Trace(L"[DownloadPXPC_Package()] pFuncUpdateGBCSync(2) Failed. (try...catch)\r\n");
    } else {
      pc.Trace(ended.result == 1 ? L"[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.\r\n"
                                 : L"[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Failed.\r\n");
    }
  } else {
    pc.Trace(L"[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Failed.\r\n");
  }
  pc.Trace(L"[DownloadPXPC_Package()] END...(TRUE)................\r\n");
  return succeeded;
}

namespace {

// Everything of the package that the tool may load beside it: every file of code that
// serverconfig.ini lists (the tool itself is proven by its start), proven where the phone asks for
// the maker's signature and held from then until the run ends. The way down to the package folder
// was found free of links for the tool just before, and a held file is never a link itself: only
// a name in a sub-folder has more of a way to check.
bool ArePackageFilesProven(PcSystem& pc, RunFields& run, const std::wstring& packageFolder) {
  if (!pc.IsSignatureRequired() || run.m_strServerConfigFile.empty()) return true;
  const int count = FileListCount(ReadServerConfig(pc, run, L"FILES_PXPC", kFileCountKey));
  for (int i = 0; i < count; ++i) {
    const std::wstring name = ReadServerConfig(pc, run, L"FILES_PXPC", FileListKey(i));
    if (!IsSafePackageFileName(name) || name == run.m_strPxpcName) continue;
    const bool inSubFolder = name.find_first_of(L"\\/") != std::wstring::npos;
    if (inSubFolder && !pc.IsFreeOfLinks(packageFolder, name)) return false;
    if (!pc.FileExists(packageFolder + name)) continue;
    std::unique_ptr<FileHold> held;
    if (!ProvePackageFile(pc, packageFolder, name, &held)) return false;
    if (held) run.m_provenPackageFiles.push_back(std::move(held));
  }
  return true;
}

// Starts `program` while it is held with the maker's signature where the phone asks for one; when
// it does not start, `cause` says why.
bool StartSignedProgram(PcSystem& pc, const std::wstring& program, const std::wstring& arguments,
                        const std::wstring& folder, std::wstring& cause) {
  const std::unique_ptr<FileHold> held = pc.HoldSignedByMaker(program);
  if (!held) {
    cause = L"[" + program + L"] is refused: it cannot be held, or lacks the maker's signature";
    return false;
  }
  const ProgramStart start = pc.StartProgram(program, arguments, folder);
  if (!start.program) cause = L"[" + program + L"] did not start: " + SystemErrorCause(pc, start.error);
  return start.program != nullptr;
}

}  // namespace

bool StartPcTool(PcSystem& pc, RunFields& run, const std::wstring& appTitle) {
  pc.Trace(L"[RunPXPC()] START.............\r\n");
  // A configured name that leaves the package folder or names a device counts as none.
  if (run.m_strPxpcName.empty() || !IsSafePackageFileName(run.m_strPxpcName)) {
    pc.Trace(L"[RunPXPC()] PXPCFilename is Empty........\r\n");
    return false;
  }
  const std::wstring base = pc.BaseFolder();
  if (base.empty()) {
    pc.Trace(L"[RunPXPC()] SHGetSpecialFolderPath is failed........\r\n");
    return false;
  }
  const std::wstring executable = PackageFolderIn(base) + run.m_strPxpcName;
  const std::wstring arguments = FormatPxpcArguments(run.m_strPhoneDrive, run.m_strModelType, appTitle);
  const std::wstring workFolder = FolderOfPath(executable);
  pc.Trace(L"[RunPXPC()] Exe File = (" + executable + L")\n");
  pc.Trace(L"[RunPXPC()] Work Path = (" + workFolder + L")\n");
  // A package folder or tool that is a link is not started, as if the start had failed; nor is a
  // tool beside code of its package that is refused, nor one without the maker's signature where
  // the phone asks for it (held, so that it cannot change, until it has started). Its folder is
  // held from here until the run ends.
  std::unique_ptr<FolderHold> folderHold = HoldFolderOrRefuse(pc, workFolder);
  std::wstring cause;  // stays empty where a line of its own told it (a folder that cannot be held)
  bool started = false;
  if (!folderHold) {
    // the refusal has its line
  } else if (!pc.IsFreeOfLinks(base, executable.substr(base.size() + 1))) {
    cause = LinkCause(executable);
  } else if (!ArePackageFilesProven(pc, run, PackageFolderIn(base))) {
    cause = L"a file of the package is refused: a link, or code without the maker's signature";
  } else {
    started = StartSignedProgram(pc, executable, arguments, workFolder, cause);
  }
  if (folderHold) run.m_heldFolders.push_back(std::move(folderHold));
  if (!started) {
    pc.Trace(L"[RunPXPC()] END - Failed to run PXPC.............\r\n");
    TraceCause(pc, kToolStart, cause);
    return false;
  }
  pc.Trace(L"[RunPXPC()] END.............\r\n");
  return true;
}

bool AutoRunOnline(PcSystem& pc, RunView& view, RunFields& run, const std::wstring& appTitle) {
  const OnlinePlan plan = PlanOnlineRun(run.m_bRequireDrv == 1, run.m_bRequireUpPxpc == 1);
  if (plan.download) {
    view.SetProgressDisplay(ProgressDisplay::Download, false);
    const bool downloaded = DownloadPXPC_Package(pc, view, run);
    view.SetProgressDisplay(ProgressDisplay::Download, true);
    if (!downloaded) {
      if (!run.m_bUserCancel) Warn(pc, view, kDownloadFailedMessage);
      return false;
    }
  }
  if (plan.installDriver) {
    if (!InstallDriver(pc, view, run)) return false;
  } else if (plan.installPause) {
    // A pause with the installation display, so the user sees the update complete.
    view.SetProgressDisplay(ProgressDisplay::Install, false);
    pc.Pause(kInstallPauseMs);
    view.SetProgressDisplay(ProgressDisplay::Install, true);
    view.RaiseProgress(kProgressMax);
  }
  if (plan.needsCompletePackage && (run.m_strServerConfigFile.empty() || !HasAllPackageFiles(pc, run))) return false;
  return StartPcTool(pc, run, appTitle);
}

bool AutoRunOffline(PcSystem& pc, RunView& view, RunFields& run, const std::wstring& appTitle) {
  if (run.m_bRequireDrv == 1 && !run.m_strPreloadDriver.empty() && !InstallDriver(pc, view, run)) return false;
  if (StartPcTool(pc, run, appTitle)) return true;
  pc.Trace(L"[CheckSystem()] IsConnectedInternet() ==> FALSE...\r\n");
  return false;
}

bool RunWorkflow(PcSystem& pc, RunView& view, RunFields& run, const std::wstring& appTitle) {
  pc.Trace(L"[AutoRun_PXBootstrap()] START...............\r\n");
  const bool ok = pc.IsOnline() ? AutoRunOnline(pc, view, run, appTitle) : AutoRunOffline(pc, view, run, appTitle);
  if (!ok) pc.Trace(L"[AutoRun_PXBootstrap()] Timer call exit function\r\n");
  pc.Trace(L"[AutoRun_PXBootstrap()] END...............\r\n");
  return ok;
}

}  // namespace qv::bootstrap
