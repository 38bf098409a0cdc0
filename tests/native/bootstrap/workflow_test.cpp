// The whole workflow on a scripted PC: every path of the PC start's checks, the online and offline
// runs and the phone start's copy, checked as one record of trace lines, actions and what the
// window showed, in order.
#include "bootstrap/core/workflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "bootstrap/core/driver_tables.h"
#include "tests/native/bootstrap/scripted_pc.h"

namespace qv::bootstrap {
namespace {

using testing::ScriptedPc;

// The record as text, one event a line. A trace line's CR LF is left out; a line that ends in a
// bare LF is marked [LF], one without an end [no end]. Other characters than ASCII show as '?'.
std::string Rendered(const std::vector<std::wstring>& events) {
  std::string text = "\n";
  for (const std::wstring& event : events) {
    std::wstring line = event;
    std::string mark;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, L"\r\n") == 0) {
      line.resize(line.size() - 2);
    } else if (!line.empty() && line.back() == L'\n') {
      line.pop_back();
      mark = " [LF]";
    } else if (line.compare(0, 2, L"> ") != 0) {
      mark = " [no end]";
    }
    for (wchar_t c : line) text += c == L'\n' ? '|' : c < 0x80 ? static_cast<char>(c) : '?';
    text += mark + "\n";
  }
  return text;
}

// The trace of one look for a family's files under the scripted PC's Program Files: its folder,
// then the folder's variant, each with the number of the family's pairs missing there. The files
// of an installed family are in its folder only.
std::string InstalledCheck(int type, bool installed) {
  std::string folder;
  for (wchar_t c : GetDriverFolder(L"C:\\Program Files", type)) folder += static_cast<char>(c);
  const std::string all = std::to_string(DriverFilePairs(type).size());
  return "[IsInstalledDriver()] START..............\nIsInstalledDriver:\t[" + folder + "][" + (installed ? "0" : all) +
         "] [LF]\nIsInstalledDriver:\t[" + folder + "s][" + all + "] [LF]\n[IsInstalledDriver()] END..............\n";
}

// The phone names no driver installer of its own.
const char kNoPreloadDriver[] = "GetPreloadDriver ExePath = [C:\\T\\E\\]\nThis device not support preload driver\n";
// Online with every family installed: the driver is not due.
std::string DriverCurrentOnline() {
  return "[IsRequireUpDrv()] START..............\n> IsOnline\n" + InstalledCheck(kDriverModem, true) +
         InstalledCheck(kDriverCbwUnison, true);
}

const wchar_t kServerConfig[] =
    L"[PXPACKAGE]\npack_version=2.0.0.1\n[FILES_PXPC]\nfilecount=2\nfile00=PXPC.exe\nfile01=pxpcconfig.ini\n"
    L"[FILES_DRIVER]\ndriver_name_cbw_unison=driver_setup.exe\n";
const wchar_t kToolConfig[] = L"[PXPACKAGE]\npack_version=2.0.0.1\n";

class Workflow : public ::testing::Test {
 protected:
  void SetUp() override {
    run.m_strModulePath = L"C:\\T\\E\\";
    run.m_strPhoneDrive = L"E";
    run.m_strPxpcName = L"PXPC.exe";
    run.m_strModelType = L"ums";
    pc.base = L"C:\\T";
    pc.folders = {L"C:\\T"};
    pc.userCancel = &run.m_bUserCancel;
    pc.server = {{L"http://dl.example/pxpc/serverconfig.ini", kServerConfig},
                 {L"http://dl.example/pxpc/PXPC.exe", L"tool"},
                 {L"http://dl.example/pxpc/pxpcconfig.ini", kToolConfig},
                 {L"http://dl.example/pxpc/driver_setup.exe", L"driver"}};
  }

  // The package of the server's version, installed earlier.
  void InstallCurrentPackage() {
    pc.folders.insert(L"C:\\T\\PXPC");
    pc.files[L"C:\\T\\PXPC\\PXPC.exe"] = L"tool";
    pc.files[L"C:\\T\\PXPC\\pxpcconfig.ini"] = kToolConfig;
  }

  std::string Record() {
    std::string text = Rendered(pc.events);
    pc.events.clear();
    return text;
  }

  bool Run() { return RunWorkflow(pc, pc, run, L"Model X"); }

  ScriptedPc pc;
  RunFields run;
};

std::string UpdateCheckOnFirstRun() {
  return R"(
> IsOnline
> CreateFolder C:\T\PXPC
> CheckPXPC C:\T\E\ E:\ []
> HoldFolder C:\T
> Download http://dl.example/pxpc/serverconfig.ini -> C:\T\serverconfig.ini (bounded)
> ReleaseFolder C:\T
)" + std::string(kNoPreloadDriver) + DriverCurrentOnline() + R"([IsRequireUpPXPC()] START..............
> IsOnline
)";
}

const char kToolStart[] = R"(
[RunPXPC()] START.............
[RunPXPC()] Exe File = (C:\T\PXPC\PXPC.exe) [LF]
[RunPXPC()] Work Path = (C:\T\PXPC) [LF]
> HoldFolder C:\T\PXPC
> Hold C:\T\PXPC\PXPC.exe
> Start C:\T\PXPC\PXPC.exe [-pxpc;E;U;Model X;] in C:\T\PXPC
> Release C:\T\PXPC\PXPC.exe
[RunPXPC()] END.............
)";

// Pieces of the online run's record.
const std::string kDownloadStart = R"(
[AutoRun_PXBootstrap()] START...............
> IsOnline
> Display download start
[DownloadPXPC_Package()] START...................
> OpenUsageReport C:\T\E\ E:\
> Report [] START)";
// The update arrives in a fresh folder of its own, and takes the package's place when complete.
const std::string kPackageFiles = R"(
> Download http://dl.example/pxpc/PXPC.exe -> C:\T\PXPC.update-1005\PXPC.exe (cancellable)
> Download http://dl.example/pxpc/pxpcconfig.ini -> C:\T\PXPC.update-1005\pxpcconfig.ini (cancellable))";
const std::string kPackageInPlace = R"(
> Move C:\T\PXPC.update-1005\PXPC.exe -> C:\T\PXPC\PXPC.exe
> Move C:\T\PXPC.update-1005\pxpcconfig.ini -> C:\T\PXPC\pxpcconfig.ini)";
const std::string kUpdateFolderGone = R"(
> ReleaseFolder C:\T\PXPC.update-1005
> ReleaseFolder C:\T\PXPC
> RemoveFolder C:\T\PXPC.update-1005)";
const std::string kDriverFile = R"(
> Download http://dl.example/pxpc/driver_setup.exe -> C:\T\PXPC.update-1005\driver_setup.exe (cancellable))";
const std::string kUpdateFolder = R"(
> HoldFolder C:\T\PXPC
> CreateFolder C:\T\PXPC.update-1005
> HoldFolder C:\T\PXPC.update-1005)";
const std::string kDriverInPlace = R"(
> Move C:\T\PXPC.update-1005\driver_setup.exe -> C:\T\PXPC\driver_setup.exe)";
const std::string kDownloadReported = R"(
[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Success.
> Report [H42] OK
[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.
[DownloadPXPC_Package()] END...(TRUE)................
> Display download stop)";
// An installer's run in its held folder, from its start to the release of its folder: a setup
// program that ends with exit code 0, after which the driver family is there.
std::string HeldInstallerRun(const std::string& folder, const std::string& installer, int family) {
  return "\n[CUSBAutoRunDlg::InstallDriver()] START.............\n> HoldFolder " + folder + "\n> Hold " + folder +
         "\\" + installer +
         "\n[InstallDriver : MsgWaitForMultipleObjects 1]\n[InstallDriver : MsgWaitForMultipleObjects 2]"
         "\nInstall Driver Full Path Name = " + folder + "\\" + installer + " [LF]\n> Start " + folder + "\\" +
         installer + " [] in " + folder + "\n> WaitForEnd 600000"
         "\n[InstallDriver : the installer ended with exit code 0]\n[InstallDriver : MsgWaitForMultipleObjects ENd]"
         "\n> IsOnline\n" + InstalledCheck(family, true) +
         "> BringToFront\n[CUSBAutoRunDlg::InstallDriver()] END.............\n> Release " + folder + "\\" + installer +
         "\n> ReleaseFolder " + folder;
}
// The server's installer, which the download put in the package folder, installed there.
std::string DriverInstall() {
  return "\n> IsOnline\n> Display install start\n> IsOnline\nDriver install from server" +
         HeldInstallerRun("C:\\T\\PXPC", "driver_setup.exe", kDriverCbwUnison) + "\n> Display install stop\n> Progress 2000";
}
// The phone's installer of the modem family, copied beside the program and run there offline.
DriverPackage PhonesDriverPackage() {
  DriverPackage package;
  package.preloadDriver = L"C:\\T\\E\\setup.exe";
  package.preloadName = L"setup.exe";
  package.launchDrive = L"E";
  package.programFolder = L"C:\\T\\E\\";
  package.preloadType = kDriverModem;
  return package;
}
std::string PhonesDriverInstall() {
  return R"(
> IsOnline
GetPreloadDriver ExePath = [E:\]
Copy Preload Driver Path = [E:\setup.exe]
> HoldFolder C:\T\E
> Copy E:\setup.exe -> C:\T\E\setup.exe
Copy Preload Driver - OK
> ReleaseFolder C:\T\E)" + HeldInstallerRun("C:\\T\\E", "setup.exe", kDriverModem);
}
const std::string kRunEnd = std::string(kToolStart) + "[AutoRun_PXBootstrap()] END...............\n";

TEST_F(Workflow, FirstRunOnlineFetchesTheServersConfigDownloadsThePackageAndStartsTheTool) {
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::AskLicence);
  EXPECT_EQ(Record(), UpdateCheckOnFirstRun());
  EXPECT_EQ(run.m_strDownloadURL, L"http://dl.example/pxpc/");
  EXPECT_EQ(run.m_strServerConfigFile, L"C:\\T\\serverconfig.ini");
  EXPECT_EQ(run.m_bRequireUpPxpc, 1);
  EXPECT_EQ(run.m_bRequireDrv, 0);

  EXPECT_TRUE(Run());
  EXPECT_EQ(Record(), kDownloadStart + kUpdateFolder + kPackageFiles + "\n> Progress 1000" + kPackageInPlace +
                          kUpdateFolderGone + kDownloadReported +
                          "\n> Display install start\n> Pause 3000\n> Display install stop\n> Progress 2000" + kRunEnd);
  EXPECT_EQ(pc.files[L"C:\\T\\PXPC\\PXPC.exe"], L"tool");
}

TEST_F(Workflow, ACurrentPackageRunsHiddenAndIsDueAgainWhenAFileIsMissingOrTheServerIsNewer) {
  InstallCurrentPackage();
  pc.packageQuery.downloadUrl = L"http://dl.example/pxpc";  // the package's address gets its final slash
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::RunHidden);
  EXPECT_EQ(Record(), R"(
> IsOnline
> CheckPXPC C:\T\E\ E:\ []
> HoldFolder C:\T
> Download http://dl.example/pxpc/serverconfig.ini -> C:\T\serverconfig.ini (bounded)
> ReleaseFolder C:\T
)" + std::string(kNoPreloadDriver) + DriverCurrentOnline() + R"([IsRequireUpPXPC()] START..............
> IsOnline
[IsRequireUpPXPC()] END..............
)");
  // Nothing is due: the tool starts from the complete package, without a download.
  EXPECT_TRUE(Run());
  EXPECT_EQ(Record(), "\n[AutoRun_PXBootstrap()] START...............\n> IsOnline" + kRunEnd);

  pc.files.erase(L"C:\\T\\PXPC\\pxpcconfig.ini");
  EXPECT_TRUE(IsToolUpdateDue(pc, run));  // nothing installed, as far as the package knows
  pc.files[L"C:\\T\\PXPC\\pxpcconfig.ini"] = kToolConfig;
  pc.files.erase(L"C:\\T\\PXPC\\PXPC.exe");
  EXPECT_TRUE(IsToolUpdateDue(pc, run));
  // With a file missing and nothing due, the tool is not started from an incomplete package.
  EXPECT_FALSE(Run());
  EXPECT_EQ(Record().find("[RunPXPC()]"), std::string::npos);
  pc.files[L"C:\\T\\PXPC\\PXPC.exe"] = L"tool";
  pc.files[L"C:\\T\\PXPC\\pxpcconfig.ini"] = L"[PXPACKAGE]\npack_version=2.0.0.0\n";
  EXPECT_TRUE(IsToolUpdateDue(pc, run));
  pc.online = false;
  pc.events.clear();
  EXPECT_FALSE(IsToolUpdateDue(pc, run));
  EXPECT_EQ(Record(), "\n[IsRequireUpPXPC()] START..............\n> IsOnline\n");
}

TEST_F(Workflow, ADueDriverIsFetchedFromTheServerAndInstalledBeforeTheToolStarts) {
  InstallCurrentPackage();
  pc.RemoveDrivers();
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::AskLicence);
  Record();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Record(), kDownloadStart + kUpdateFolder + kDriverFile + "\n> Progress 1000" + kDriverInPlace +
                          kUpdateFolderGone + kDownloadReported + DriverInstall() + kRunEnd);
  EXPECT_EQ(run.m_strDriverPath, L"C:\\T\\PXPC\\driver_setup.exe");

  // A failed installation is shown, and the tool is not started.
  pc.installerInstalls = false;
  pc.RemoveDrivers();
  EXPECT_FALSE(Run());
  const std::string failed = Record();
  EXPECT_NE(failed.find(InstalledCheck(kDriverCbwUnison, false) + R"(> BringToFront
[InstallDriver()] IsInstalledDriver() return code : FALSE
[InstallDriver()] Cause: the installer ended with exit code 0, and the driver's files are not installed
> Release C:\T\PXPC\driver_setup.exe
> ReleaseFolder C:\T\PXPC
> Display install stop
[AutoRun_PXBootstrap()] InstallDriver() ==> FALSE...
[MessageBox] QV USB modem driver is not installed.\nReinstall QV USB modem driver.
> Message QV USB modem driver is not installed.|Reinstall QV USB modem driver.
[AutoRun_PXBootstrap()] Timer call exit function
[AutoRun_PXBootstrap()] END...............
)"),
            std::string::npos)
      << failed;
  EXPECT_EQ(failed.find("[RunPXPC()]"), std::string::npos);
}

TEST_F(Workflow, WithBothDueThePackageComesFirstThenTheDriverWhichIsInstalledWithoutAPause) {
  pc.RemoveDrivers();
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::AskLicence);
  Record();
  EXPECT_TRUE(Run());
  EXPECT_EQ(Record(), kDownloadStart + kUpdateFolder + kPackageFiles + "\n> Progress 500" + kDriverFile +
                          "\n> Progress 1000" + kPackageInPlace + kDriverInPlace + kUpdateFolderGone + kDownloadReported +
                          DriverInstall() + kRunEnd);
}

TEST_F(Workflow, TheServerNamingThePhonesInstallerOrThePcToolLeavesTheDriverDownloadOut) {
  InstallCurrentPackage();
  pc.RemoveDrivers();
  pc.programConfig = L"[DRIVER]\npreload=driver_setup.exe\n";
  pc.usageStart.result = 0;  // a start report that failed: the phone's installer still ends it
  PreparePcStart(pc, run);
  EXPECT_EQ(run.m_strPreloadDriver, L"C:\\T\\E\\driver_setup.exe");
  Record();
  EXPECT_TRUE(DownloadPackage(pc, pc, run));
  EXPECT_EQ(Record(), R"(
[DownloadPXPC_Package()] START...................
> OpenUsageReport C:\T\E\ E:\
> Report [] START
Server and preload is same
> Progress 1000
[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Success.
> Report [H42] OK
[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.
[DownloadPXPC_Package()] END...(TRUE)................
)");
  EXPECT_EQ(run.m_bPreloadSame, 1);

  pc.files[L"C:\\T\\serverconfig.ini"] += L"who_install_driver=PXPC\n";
  RunFields fresh;
  fresh.m_strServerConfigFile = run.m_strServerConfigFile;
  fresh.m_strDownloadURL = run.m_strDownloadURL;
  fresh.m_strDownloadPath = run.m_strDownloadPath;
  fresh.m_bRequireDrv = 1;
  EXPECT_TRUE(DownloadPackage(pc, pc, fresh));
  EXPECT_EQ(fresh.m_bPxpcInstallsDriver, 1);
  EXPECT_EQ(Record().find("> Download"), std::string::npos);
  EXPECT_TRUE(InstallDriverStep(pc, pc, fresh));
  EXPECT_EQ(Record(), "\n[CUSBAutoRunDlg::InstallDriver()] SKIP.............\n");
}

TEST_F(Workflow, AFailedUpdateCheckEndsTheRunAbnormallyAtTheStepThatFailed) {
  struct Case {
    const char* name;
    void (*breakIt)(ScriptedPc&, RunFields&);
    const char* lastLines;
  };
  const Case cases[] = {
      {"no base folder", [](ScriptedPc& pc, RunFields&) { pc.base.clear(); },
       "[IsRequireUpPXPC()] PX_PC Download PC Path find failed.......\n"},
      {"base folder is a link", [](ScriptedPc& pc, RunFields&) { pc.links.insert(L"C:\\T"); },
       "[IsRequireUpPXPC()] Create failed PX_PC Download PC Path.......\n"
       "[IsRequireUpPXPC()] Cause: a link on the way to [C:\\T]\n"},
      {"package folder cannot be made", [](ScriptedPc& pc, RunFields&) { pc.refusedFolders.insert(L"C:\\T\\PXPC"); },
       "> CreateFolder C:\\T\\PXPC\n[IsRequireUpPXPC()] Create failed PX_PC Download PC Path.......\n"
       "[IsRequireUpPXPC()] Cause: system error 5 (Access denied.)\n"},
      {"test version too long", [](ScriptedPc&, RunFields& run) { run.m_strPxpcTestVer = L"1234567890.1234567890"; },
       "> CreateFolder C:\\T\\PXPC\n[IsRequireUpPXPC()] Test version is too long.......\n"},
      {"library not the phone's", [](ScriptedPc& pc, RunFields&) { pc.packageQuery.call = LibraryCall::NotLoaded; },
       "[IsRequireUpPXPC()] LoadLibrary is failed..\n"},
      {"no export", [](ScriptedPc& pc, RunFields&) { pc.packageQuery.call = LibraryCall::NoExport; },
       "[IsRequireUpPXPC()] GetProcAddress(CheckPXPC) is failed..\n"},
      {"export threw", [](ScriptedPc& pc, RunFields&) { pc.packageQuery.call = LibraryCall::Threw; },
       "[IsRequireUpPXPC()] pFuncChkPXPC Error.(try..catch)\n"},
      {"no package named",
       [](ScriptedPc& pc, RunFields&) {
         pc.packageQuery = {LibraryCall::Returned, 0, L"", L"x MSG_SERVER_FAIL", L"GET http://svc/list answered HTTP 500"};
       },
       "[IsRequireUpPXPC()] CheckPXPC return MSG is (MSG_SERVER_FAIL).......\n"
       "[IsRequireUpPXPC()] CheckPXPC return is FALSE.......\n"
       "[IsRequireUpPXPC()] Cause: GET http://svc/list answered HTTP 500\n"},
      {"no package named, by a library that tells no cause",
       [](ScriptedPc& pc, RunFields&) { pc.packageQuery = {LibraryCall::Returned, 0, L"", L"MSG_FUNCTION_FAIL", L""}; },
       "[IsRequireUpPXPC()] CheckPXPC return MSG is (MSG_FUNCTION_FAIL).......\n"
       "[IsRequireUpPXPC()] CheckPXPC return is FALSE.......\n"},
      {"URL without a slash", [](ScriptedPc& pc, RunFields&) { pc.packageQuery.downloadUrl = L"nowhere"; },
       "[IsRequireUpPXPC()] PX_PC Download URL is not valid.......\n"
       "[IsRequireUpPXPC()] Cause: the service named [nowhere]\n"},
      {"no complete package in the lists",
       [](ScriptedPc& pc, RunFields&) {
         pc.packageQuery = {LibraryCall::Returned, 1, L"", L"", L"no list of the service names a complete package"};
       },
       "[IsRequireUpPXPC()] PX_PC Download URL is not valid.......\n"
       "[IsRequireUpPXPC()] Cause: no list of the service names a complete package\n"},
      {"a local file's address", [](ScriptedPc& pc, RunFields&) { pc.packageQuery.downloadUrl = L"file:///C:/adminonly/"; },
       "[IsRequireUpPXPC()] PX_PC Download URL is not HTTP.......\n"
       "[IsRequireUpPXPC()] Cause: the service named [file:///C:/adminonly/]\n"},
      {"an FTP address", [](ScriptedPc& pc, RunFields&) { pc.packageQuery.downloadUrl = L"ftp://dl.example/pxpc/"; },
       "[IsRequireUpPXPC()] PX_PC Download URL is not HTTP.......\n"
       "[IsRequireUpPXPC()] Cause: the service named [ftp://dl.example/pxpc/]\n"},
      {"serverconfig.ini missing", [](ScriptedPc& pc, RunFields&) { pc.server.clear(); },
       "> Download http://dl.example/pxpc/serverconfig.ini -> C:\\T\\serverconfig.ini (bounded)\n"
       "[IsRequireUpPXPC()] Fail of download (serverconfig.ini).......\n"
       "[IsRequireUpPXPC()] Cause: GET http://dl.example/pxpc/serverconfig.ini answered HTTP 404\n"
       "> ReleaseFolder C:\\T\n"},
      {"serverconfig.ini a link", [](ScriptedPc& pc, RunFields&) { pc.links.insert(L"C:\\T\\serverconfig.ini"); },
       "> HoldFolder C:\\T\n[IsRequireUpPXPC()] Fail of download (serverconfig.ini).......\n"
       "[IsRequireUpPXPC()] Cause: a link on the way to [C:\\T\\serverconfig.ini]\n> ReleaseFolder C:\\T\n"},
      {"base folder cannot be held", [](ScriptedPc& pc, RunFields&) { pc.unholdableFolders.insert(L"C:\\T"); },
       "> CheckPXPC C:\\T\\E\\ E:\\ []\n> HoldFolder C:\\T refused\n[FOLDER] [C:\\T] refused, it cannot be held (32)\n"
       "[IsRequireUpPXPC()] Fail of download (serverconfig.ini).......\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pc = ScriptedPc();
    SetUp();
    run.m_bAbnormalStatus = 0;
    run.m_strPxpcTestVer.clear();
    c.breakIt(pc, run);
    EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::EndWithModeChange);
    const std::string record = Record();
    // After the failed check, the driver is decided on as ever.
    const std::string tail = std::string(c.lastLines) +
                             kNoPreloadDriver + DriverCurrentOnline();
    ASSERT_GE(record.size(), tail.size()) << record;
    EXPECT_EQ(record.substr(record.size() - tail.size()), tail) << record;
    EXPECT_TRUE(run.m_strServerConfigFile.empty());
    EXPECT_EQ(run.m_bRequireUpPxpc, 0);  // the tool's version is not asked after a failed check
  }
  // Offline the check is not made at all, and nothing is abnormal; without a driver on the phone
  // there is nothing to install one with.
  pc = ScriptedPc();
  SetUp();
  pc.online = false;
  run.m_bAbnormalStatus = 0;
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::RunHidden);
  EXPECT_EQ(Record(), "\n> IsOnline\n" + std::string(kNoPreloadDriver) + "[IsRequireUpDrv()] START..............\n> IsOnline\n");
}

TEST_F(Workflow, AFailedOrCancelledUpdateIsReportedAsFailedStartsNothingAndLeavesTheEarlierPackage) {
  // An earlier version is installed, and the server has a newer one.
  InstallCurrentPackage();
  pc.files[L"C:\\T\\PXPC\\PXPC.exe"] = L"old tool";
  pc.files[L"C:\\T\\PXPC\\pxpcconfig.ini"] = L"[PXPACKAGE]\npack_version=2.0.0.0\n";
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::AskLicence);
  const auto earlier = pc.files;
  pc.server.erase(L"http://dl.example/pxpc/pxpcconfig.ini");
  Record();
  EXPECT_FALSE(Run());
  const std::string failed = Record();
  EXPECT_NE(failed.find(R"(> Download http://dl.example/pxpc/pxpcconfig.ini -> C:\T\PXPC.update-1005\pxpcconfig.ini (cancellable)
[DownloadPXPC_Package()] Fail of download file.....(pxpcconfig.ini)
[DownloadPXPC_Package()] Cause: GET http://dl.example/pxpc/pxpcconfig.ini answered HTTP 404
> RemoveFile C:\T\PXPC.update-1005\PXPC.exe
> ReleaseFolder C:\T\PXPC.update-1005
> ReleaseFolder C:\T\PXPC
> RemoveFolder C:\T\PXPC.update-1005
[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Success.
> Report [H42] FAIL
[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.
[DownloadPXPC_Package()] END...(TRUE)................
> Display download stop
[MessageBox] RO Zeru Zav download is failed.\nPlease try again when Internet access is available.
> Message RO Zeru Zav download is failed.|Please try again when Internet access is available.
[AutoRun_PXBootstrap()] Timer call exit function
)"),
            std::string::npos)
      << failed;
  EXPECT_EQ(failed.find("> Move"), std::string::npos) << failed;
  EXPECT_EQ(pc.files, earlier);  // the new tool that did arrive never took the old one's place

  // The user's cancel: traced as such, reported as failed, no message, and the package as it was.
  pc.server[L"http://dl.example/pxpc/pxpcconfig.ini"] = kToolConfig;
  pc.cancelAtUrl = L"http://dl.example/pxpc/pxpcconfig.ini";
  EXPECT_FALSE(Run());
  const std::string cancelled = Record();
  EXPECT_NE(cancelled.find("(cancellable)\n[DownloadPXPC_Package()] User Cancel (1)\n[DownloadPXPC_Package()] Cause: GET "
                           "http://dl.example/pxpc/pxpcconfig.ini ended: cancelled after 5 ms\n"),
            std::string::npos)
      << cancelled;
  EXPECT_NE(cancelled.find("> Report [H42] FAIL"), std::string::npos);
  EXPECT_EQ(cancelled.find("> Message"), std::string::npos);
  EXPECT_EQ(pc.files, earlier);
  // Once cancelled, no further file is even asked for.
  EXPECT_FALSE(Run());
  EXPECT_EQ(Record().find("> Download"), std::string::npos);

  // A file that cannot take its place fails the update.
  run.m_bUserCancel = 0;
  pc.cancelAtUrl.clear();
  pc.unmovableFiles.insert(L"C:\\T\\PXPC\\PXPC.exe");
  EXPECT_FALSE(Run());
  const std::string unmoved = Record();
  EXPECT_NE(unmoved.find("> Move C:\\T\\PXPC.update-1015\\PXPC.exe -> C:\\T\\PXPC\\PXPC.exe\n"
                         "[DownloadPXPC_Package()] Fail of download file.....(PXPC.exe)\n"
                         "[DownloadPXPC_Package()] Cause: the downloaded file could not take its place in the "
                         "package folder\n"
                         "> RemoveFile C:\\T\\PXPC.update-1015\\PXPC.exe\n"
                         "> RemoveFile C:\\T\\PXPC.update-1015\\pxpcconfig.ini\n"),
            std::string::npos)
      << unmoved;
  EXPECT_EQ(pc.files, earlier);
}

TEST_F(Workflow, AnUpdateArrivesInAFolderOfItsOwnWhoseSubFoldersGoWithIt) {
  PreparePcStart(pc, run);
  pc.files[L"C:\\T\\serverconfig.ini"] =
      L"[PXPACKAGE]\npack_version=2\n[FILES_PXPC]\nfilecount=2\nfile00=PXPC.exe\nfile01=lib\\x.dll\n";
  pc.server[L"http://dl.example/pxpc/lib\\x.dll"] = L"library";
  // The first fresh name is taken (left behind, or put there by another program): never used.
  pc.folders.insert(L"C:\\T\\PXPC.update-1005");
  pc.files[L"C:\\T\\PXPC.update-1005\\PXPC.exe"] = L"planted";
  Record();
  EXPECT_TRUE(DownloadPackage(pc, pc, run));
  const std::string record = Record();
  EXPECT_NE(record.find(R"(
> HoldFolder C:\T\PXPC
> CreateFolder C:\T\PXPC.update-1005
> CreateFolder C:\T\PXPC.update-1011
> HoldFolder C:\T\PXPC.update-1011
> Download http://dl.example/pxpc/PXPC.exe -> C:\T\PXPC.update-1011\PXPC.exe (cancellable)
> CreateFolder C:\T\PXPC.update-1011\lib
> HoldFolder C:\T\PXPC.update-1011\lib
> Download http://dl.example/pxpc/lib\x.dll -> C:\T\PXPC.update-1011\lib\x.dll (cancellable)
> Progress 1000
> Move C:\T\PXPC.update-1011\PXPC.exe -> C:\T\PXPC\PXPC.exe
> CreateFolder C:\T\PXPC\lib
> HoldFolder C:\T\PXPC\lib
> Move C:\T\PXPC.update-1011\lib\x.dll -> C:\T\PXPC\lib\x.dll
> ReleaseFolder C:\T\PXPC\lib
> ReleaseFolder C:\T\PXPC.update-1011\lib
> ReleaseFolder C:\T\PXPC.update-1011
> ReleaseFolder C:\T\PXPC
> RemoveFolder C:\T\PXPC.update-1011\lib
> RemoveFolder C:\T\PXPC.update-1011
)"),
            std::string::npos)
      << record;
  EXPECT_EQ(pc.files[L"C:\\T\\PXPC\\PXPC.exe"], L"tool");
  EXPECT_EQ(pc.files[L"C:\\T\\PXPC\\lib\\x.dll"], L"library");
  EXPECT_EQ(pc.files[L"C:\\T\\PXPC.update-1005\\PXPC.exe"], L"planted");  // not ours: left alone
  EXPECT_EQ(pc.folders.count(L"C:\\T\\PXPC.update-1011"), 0u);

  // No fresh name to be had: nothing is fetched.
  for (int tick = 0; tick < 64; ++tick) pc.refusedFolders.insert(L"C:\\T\\PXPC.update-" + std::to_wstring(1000 + tick));
  Record();
  EXPECT_FALSE(DownloadPackage(pc, pc, run));
  const std::string refused = Record();
  EXPECT_NE(refused.find("[FOLDER] [C:\\T\\PXPC.update-*] refused, no fresh folder can be made\n"
                         "[DownloadPXPC_Package()] Fail of download file.....(PXPC.exe)\n"),
            std::string::npos)
      << refused;
  EXPECT_EQ(refused.find("> Download"), std::string::npos) << refused;
}

TEST_F(Workflow, PackageNamesThatLeaveTheFolderOrLinksInItAreNeitherDeletedNorFetched) {
  PreparePcStart(pc, run);
  for (const wchar_t* name : {L"..\\..\\Windows\\evil.dll", L"C:\\evil.exe", L"nul.msi"}) {
    pc.files[L"C:\\T\\serverconfig.ini"] =
        std::wstring(L"[FILES_PXPC]\nfilecount=1\nfile00=") + name + L"\n[PXPACKAGE]\npack_version=2\n";
    Record();
    EXPECT_FALSE(DownloadPackage(pc, pc, run));
    const std::string record = Record();
    EXPECT_EQ(record.find("> RemoveFile"), std::string::npos) << record;
    EXPECT_NE(record.find("Fail of download file.....("), std::string::npos) << record;
  }
  pc.files[L"C:\\T\\serverconfig.ini"] = kServerConfig;
  pc.links.insert(L"C:\\T\\PXPC\\PXPC.exe");
  EXPECT_FALSE(DownloadPackage(pc, pc, run));
  EXPECT_EQ(Record().find("> RemoveFile"), std::string::npos);
  // A server driver name with a folder part is refused too, after the package itself.
  pc.links.clear();
  pc.files[L"C:\\T\\serverconfig.ini"] =
      L"[FILES_PXPC]\nfilecount=0\n[FILES_DRIVER]\ndriver_name_cbw_unison=tools\\setup.exe\n";
  run.m_bRequireDrv = 1;
  EXPECT_FALSE(DownloadPackage(pc, pc, run));
  EXPECT_NE(Record().find("Fail of download file.....(tools\\setup.exe)\n"), std::string::npos);
}

TEST_F(Workflow, StatisticsThatCannotBeLoadedStopTheDownloadAndAFailedStartReportNeedsNoEnd) {
  PreparePcStart(pc, run);
  Record();
  pc.usageLibrary = LibraryCall::NotLoaded;
  EXPECT_FALSE(DownloadPackage(pc, pc, run));
  EXPECT_EQ(Record(), R"(
[DownloadPXPC_Package()] START...................
> OpenUsageReport C:\T\E\ E:\
[DownloadPXPC_Package()] LoadLibrary(QVUTchkdl.dll) failed.........
)");
  pc.usageLibrary = LibraryCall::NoExport;
  EXPECT_FALSE(DownloadPackage(pc, pc, run));
  EXPECT_NE(Record().find("[DownloadPXPC_Package()] Library function failed.........\n"), std::string::npos);

  pc.usageLibrary = LibraryCall::Returned;
  pc.usageStart.result = 0;
  EXPECT_TRUE(DownloadPackage(pc, pc, run));
  const std::string record = Record();
  EXPECT_EQ(record.find("> Report [H42]"), std::string::npos);
  EXPECT_NE(record.find("[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Failed.\n"
                        "[DownloadPXPC_Package()] END...(TRUE)................\n"),
            std::string::npos)
      << record;
  pc.usageStart = {LibraryCall::Threw, 0, ""};
  EXPECT_FALSE(DownloadPackage(pc, pc, run));
  EXPECT_NE(Record().find("> Report [] START\n[DownloadPXPC_Package()] pFuncUpdateGBCSync(1) Failed. (try...catch)\n"),
            std::string::npos);
}

TEST_F(Workflow, OfflineThePhonesDriverIsInstalledBeforeTheToolAndAFailedStartEndsTheRun) {
  InstallCurrentPackage();
  pc.online = false;
  pc.RemoveDrivers();
  pc.programConfig = L"[DRIVER]\npreload=setup.exe\npreload_type=modem\n";  // the phone carries the modem family
  pc.folders.insert(L"C:\\T\\E");
  pc.files[L"E:\\setup.exe"] = L"phone's driver";
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::AskLicence);
  EXPECT_EQ(Record(), R"(
> IsOnline
GetPreloadDriver ExePath = [C:\T\E\]
Preload Driver[setup.exe], Type[modem]
Path to copy preload driver[C:\T\E\setup.exe]
[IsRequireUpDrv()] START..............
> IsOnline
)" + InstalledCheck(kDriverModem, false) + InstalledCheck(kDriverAndroid, false) +
                          InstalledCheck(kDriverZodavozUro, false) + InstalledCheck(kDriverCbwUnison, false));
  EXPECT_EQ(run.m_nPreloadType, kDriverModem);
  EXPECT_TRUE(Run());
  EXPECT_EQ(Record(), std::string(R"(
[AutoRun_PXBootstrap()] START...............
> IsOnline
> IsOnline
> Display install start)") + PhonesDriverInstall() + "\n> Display install stop\n> Progress 2000" + kRunEnd);

  // No driver on the phone: nothing to install with; the tool that is not there does not start.
  run.m_strPreloadDriver.clear();
  pc.files.erase(L"C:\\T\\PXPC\\PXPC.exe");
  EXPECT_FALSE(Run());
  EXPECT_EQ(Record(), R"(
[AutoRun_PXBootstrap()] START...............
> IsOnline
[RunPXPC()] START.............
[RunPXPC()] Exe File = (C:\T\PXPC\PXPC.exe) [LF]
[RunPXPC()] Work Path = (C:\T\PXPC) [LF]
> HoldFolder C:\T\PXPC
> Hold C:\T\PXPC\PXPC.exe
> Start C:\T\PXPC\PXPC.exe [-pxpc;E;U;Model X;] in C:\T\PXPC
> Release C:\T\PXPC\PXPC.exe
[RunPXPC()] END - Failed to run PXPC.............
[RunPXPC()] Cause: [C:\T\PXPC\PXPC.exe] did not start: system error 2 (File not found.)
[CheckSystem()] IsConnectedInternet() ==> FALSE...
[AutoRun_PXBootstrap()] Timer call exit function
[AutoRun_PXBootstrap()] END...............
)");
}

// A package of a tool, its libraries (one of them under a name that is no program's) and data.
const wchar_t kSignedServerConfig[] =
    L"[PXPACKAGE]\npack_version=2.0.0.1\n[FILES_PXPC]\nfilecount=5\nfile00=PXPC.exe\nfile01=helper.dll\n"
    L"file02=plugin.dat\nfile03=readme.txt\nfile04=pxpcconfig.ini\n";

class SignedPackage : public Workflow {
 protected:
  void SetUp() override {
    Workflow::SetUp();
    pc.signatureRequired = true;
    pc.server = {{L"http://dl.example/pxpc/serverconfig.ini", kSignedServerConfig},
                 {L"http://dl.example/pxpc/PXPC.exe", L"MZ tool"},
                 {L"http://dl.example/pxpc/helper.dll", L"MZ library"},
                 {L"http://dl.example/pxpc/plugin.dat", L"MZ library under another name"},
                 {L"http://dl.example/pxpc/readme.txt", L"Read me"},
                 {L"http://dl.example/pxpc/pxpcconfig.ini", kToolConfig}};
  }

  // The update's own folder, where each file is proven after its download.
  static constexpr const char* kStaged = "C:\\T\\PXPC.update-1005\\";
  static constexpr const char* kPackage = "C:\\T\\PXPC\\";

  // What the record says of one package file: its download and its proof.
  static std::string Downloaded(const std::string& name, const std::string& proof) {
    return "\n> Download http://dl.example/pxpc/" + name + " -> " + kStaged + name + " (cancellable)" + proof;
  }
  static std::string Proven(const std::string& name, const std::string& folder = kPackage) {
    return "\n> Hold " + folder + name + "\n[SIGNATURE] [" + folder + name + "] accepted";
  }
  static std::string Data(const std::string& name, const std::string& folder = kPackage) {
    return "\n> Hold " + folder + name + "\n> Release " + folder + name;
  }
  static std::string InPlace(const std::string& name) {
    return "\n> Move " + std::string(kStaged) + name + " -> " + kPackage + name;
  }
};

TEST_F(SignedPackage, EveryFileOfCodeIsProvenByContentOrNameAfterItsDownloadAndAgainHeldBeforeTheStart) {
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::AskLicence);
  Record();
  EXPECT_TRUE(Run());
  auto released = [](const std::string& name) { return Proven(name, kStaged) + "\n> Release " + kStaged + name; };
  EXPECT_EQ(Record(), kDownloadStart + kUpdateFolder + Downloaded("PXPC.exe", released("PXPC.exe")) +
                          Downloaded("helper.dll", released("helper.dll")) +
                          Downloaded("plugin.dat", released("plugin.dat")) +
                          Downloaded("readme.txt", Data("readme.txt", kStaged)) +
                          Downloaded("pxpcconfig.ini", Data("pxpcconfig.ini", kStaged)) + "\n> Progress 1000" +
                          InPlace("PXPC.exe") + InPlace("helper.dll") + InPlace("plugin.dat") + InPlace("readme.txt") +
                          InPlace("pxpcconfig.ini") + kUpdateFolderGone + kDownloadReported +
                          "\n> Display install start\n> Pause 3000\n> Display install stop\n> Progress 2000" +
                          // Right before the start, the code beside the tool is proven again and stays held.
                          "\n[RunPXPC()] START.............\n[RunPXPC()] Exe File = (C:\\T\\PXPC\\PXPC.exe) [LF]"
                          "\n[RunPXPC()] Work Path = (C:\\T\\PXPC) [LF]\n> HoldFolder C:\\T\\PXPC" +
                          Proven("helper.dll") + Proven("plugin.dat") + Data("readme.txt") + Data("pxpcconfig.ini") +
                          "\n> Hold C:\\T\\PXPC\\PXPC.exe\n> Start C:\\T\\PXPC\\PXPC.exe [-pxpc;E;U;Model X;] in C:\\T\\PXPC"
                          "\n> Release C:\\T\\PXPC\\PXPC.exe\n[RunPXPC()] END............."
                          "\n[AutoRun_PXBootstrap()] END...............\n");
  run.m_provenPackageFiles.clear();  // the holds end with the run
  run.m_heldFolders.clear();
  std::vector<std::wstring> ended = pc.events;
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(ended, (std::vector<std::wstring>{L"> Release C:\\T\\PXPC\\helper.dll", L"> Release C:\\T\\PXPC\\plugin.dat",
                                              L"> ReleaseFolder C:\\T\\PXPC"}));
}

TEST_F(SignedPackage, AnUnsignedFileOfCodeFailsTheDownloadIsRemovedAndNothingOfThePackageStarts) {
  for (const wchar_t* name : {L"helper.dll", L"plugin.dat"}) {
    SCOPED_TRACE(std::string(name, name + wcslen(name)));
    pc = ScriptedPc();
    run.m_provenPackageFiles.clear();
    SetUp();
    const std::wstring path = std::wstring(L"C:\\T\\PXPC.update-1005\\") + name;
    pc.unsignedFiles.insert(path);
    PreparePcStart(pc, run);
    Record();
    EXPECT_FALSE(Run());
    const std::string narrow(name, name + wcslen(name));
    const std::string record = Record();
    const std::string refusal = "\n> Hold " + std::string(path.begin(), path.end()) + "\n[SIGNATURE] [" +
                                std::string(path.begin(), path.end()) + "] refused\n> Release " +
                                std::string(path.begin(), path.end()) + "\n> RemoveFile " +
                                std::string(path.begin(), path.end()) +
                                "\n[DownloadPXPC_Package()] Fail of download file.....(" + narrow + ")\n";
    EXPECT_NE(record.find(refusal), std::string::npos) << record;
    EXPECT_NE(record.find("> Report [H42] FAIL"), std::string::npos) << record;
    EXPECT_NE(record.find("> Message RO Zeru Zav download is failed."), std::string::npos) << record;
    EXPECT_EQ(record.find("> Start"), std::string::npos) << record;
    EXPECT_EQ(record.find("readme.txt"), std::string::npos) << record;  // the download stopped there
    EXPECT_EQ(pc.files.count(path), 0u);
    // Nothing of the update took the package's place, and its folder is gone.
    EXPECT_EQ(record.find("> Move"), std::string::npos) << record;
    EXPECT_NE(record.find(kUpdateFolderGone), std::string::npos) << record;
    EXPECT_EQ(pc.files.count(L"C:\\T\\PXPC\\PXPC.exe"), 0u);
  }
}

TEST_F(SignedPackage, ACurrentPackageIsProvenAtTheStartAndALibraryChangedSinceRefusesTheTool) {
  pc.folders.insert(L"C:\\T\\PXPC");
  for (const auto& file : pc.server) {
    const std::wstring name = file.first.substr(file.first.rfind(L'/') + 1);
    if (name != L"serverconfig.ini") pc.files[L"C:\\T\\PXPC\\" + name] = file.second;
  }
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::RunHidden);
  Record();
  EXPECT_TRUE(StartPcTool(pc, run, L"Model X"));
  const std::string record = Record();
  for (const char* name : {"helper.dll", "plugin.dat"}) {
    EXPECT_NE(record.find(Proven(name)), std::string::npos) << name << record;
  }
  EXPECT_LT(record.find(Proven("plugin.dat")), record.find("> Start"));

  // Another program put an unsigned library in its place: the tool is not started beside it.
  run.m_provenPackageFiles.clear();
  pc.unsignedFiles.insert(L"C:\\T\\PXPC\\helper.dll");
  Record();
  EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
  const std::string refused = Record();
  EXPECT_NE(refused.find("[SIGNATURE] [C:\\T\\PXPC\\helper.dll] refused\n"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("> Start"), std::string::npos) << refused;
  EXPECT_NE(refused.find("[RunPXPC()] END - Failed to run PXPC.............\n"), std::string::npos);

  // A library in a sub-folder that is a link is not proven through it: the tool is not started.
  pc.unsignedFiles.clear();
  run.m_provenPackageFiles.clear();
  std::wstring& list = pc.files[L"C:\\T\\serverconfig.ini"];
  list.replace(list.find(L"filecount=5\n"), 12, L"filecount=6\nfile05=tools\\helper.dll\n");
  pc.files[L"C:\\T\\PXPC\\tools\\helper.dll"] = L"MZ library";
  pc.links.insert(L"C:\\T\\PXPC\\tools");
  Record();
  EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
  const std::string linked = Record();
  EXPECT_EQ(linked.find("tools\\helper.dll"), std::string::npos) << linked;
  EXPECT_EQ(linked.find("> Start"), std::string::npos) << linked;
  pc.links.clear();

  // Without the signature asked for, nothing of the package beside the tool is held or proven.
  pc.signatureRequired = false;
  EXPECT_TRUE(StartPcTool(pc, run, L"Model X"));
  const std::string unsignedRun = Record();
  EXPECT_EQ(unsignedRun.find("helper.dll"), std::string::npos) << unsignedRun;
  EXPECT_EQ(unsignedRun.find("[SIGNATURE]"), std::string::npos) << unsignedRun;
}

TEST_F(Workflow, TheToolIsNeitherStartedThroughALinkNorUnderANameThatLeavesThePackage) {
  InstallCurrentPackage();
  pc.links.insert(L"C:\\T\\PXPC");
  EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
  const std::string linked = Record();
  EXPECT_EQ(linked.find("> Start"), std::string::npos);
  EXPECT_NE(linked.find("[RunPXPC()] END - Failed to run PXPC.............\n"), std::string::npos);
  pc.links.clear();
  for (const wchar_t* name : {L"", L"..\\PXPC.exe", L"con"}) {
    run.m_strPxpcName = name;
    EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
    EXPECT_EQ(Record(), "\n[RunPXPC()] START.............\n[RunPXPC()] PXPCFilename is Empty........\n");
  }
  run.m_strPxpcName = L"PXPC.exe";
  pc.base.clear();
  EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
  EXPECT_NE(Record().find("[RunPXPC()] SHGetSpecialFolderPath is failed........\n"), std::string::npos);
}

TEST_F(Workflow, ThePhonesModeIsAskedOnItsDriveAndAFactoryLineOrAUserWithoutRightsEndsTheRun) {
  int mode = -1, admin = -1;
  pc.selectedMode = kModeUms;
  EXPECT_EQ(CheckPcAndPhone(pc, pc, L"E", mode, admin), SystemCheck::Passed);
  EXPECT_EQ(mode, kModeUms);
  EXPECT_EQ(admin, 1);
  EXPECT_EQ(Record(), R"(
[CheckSystem()] START...............
> ReadSelectedMode E
[CheckSystem()] Get User Selection Mode Command is Success.....
[CheckSystem()] User Selection Mode is (2), Admin is (1)
[CheckSystem()] END...............
)");

  // A phone that does not answer leaves the fallback; a user without rights is told so.
  pc.selectedMode = -1;
  pc.administrator = false;
  EXPECT_EQ(CheckPcAndPhone(pc, pc, L"E", mode, admin), SystemCheck::NotAdministrator);
  EXPECT_EQ(mode, kFallbackMode);
  EXPECT_EQ(Record(), R"(
[CheckSystem()] START...............
> ReadSelectedMode E
[CheckSystem()] Get User Selection Mode Command is Failed
[CheckSystem()] Admin is FALSE...
[MessageBox] [NOTIFICATION]\nThis computer is not logged in as Administrator account.\nThe Autorun feature is not working under User account.
> Message [NOTIFICATION]|This computer is not logged in as Administrator account.|The Autorun feature is not working under User account.
[CheckSystem()] END...............
)");

  // The factory line asks the phone nothing and goes to the modem mode.
  pc.factoryLine = true;
  EXPECT_EQ(CheckPcAndPhone(pc, pc, L"E", mode, admin), SystemCheck::FactoryLine);
  EXPECT_EQ(mode, kFactoryLineMode);
  EXPECT_EQ(Record(), "\n[CheckSystem()] START...............\n[CheckSystem()] This is Factory Line.......\n");
}

TEST_F(Workflow, TheModeChangeTracesTheExportItUsedAndCountsForAUserWithoutRights) {
  EXPECT_TRUE(ChangePhoneMode(pc, L"E", kModeMtp, true));
  EXPECT_EQ(Record(), R"(
[ModeChange()] START.......................
> SwitchMode 1 E
[ModeChange()] ChangeMode2MTP..(Drive : E)...............
[ModeChange()] Mode change success.......................
)");
  pc.phoneSwitch = PhoneSwitch::Failed;
  EXPECT_FALSE(ChangePhoneMode(pc, L"E", 9, true));  // an unknown mode asks the phone for its choice
  EXPECT_EQ(Record(), R"(
[ModeChange()] START.......................
> SwitchMode 3 E
[ModeChange()] default: ChangeMode2ASK..(Drive : E)...............
[ModeChange()] Mode change failed.......................
)");
  pc.phoneSwitch = PhoneSwitch::Threw;
  EXPECT_TRUE(ChangePhoneMode(pc, L"", kModeModem, false));
  EXPECT_EQ(Record(), R"(
[ModeChange()] START.......................
> SwitchMode 0 (none)
[ModeChange()] Error (catch).......................
[ModeChange()] Mode change failed.......................
)");
}

TEST_F(Workflow, TheServersInstallerRunsHeldAndSignedInItsHeldFolderAnMsiIsRemovedFirst) {
  DriverPackage package;
  package.serverDriver = L"C:\\T\\PXPC\\driver_setup.exe";
  pc.folders.insert(L"C:\\T\\PXPC");
  pc.files[package.serverDriver] = L"driver";
  pc.exitCode = 3010;
  EXPECT_TRUE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), R"(
> IsOnline
Driver install from server
[CUSBAutoRunDlg::InstallDriver()] START.............
> HoldFolder C:\T\PXPC
> Hold C:\T\PXPC\driver_setup.exe
[InstallDriver : MsgWaitForMultipleObjects 1]
[InstallDriver : MsgWaitForMultipleObjects 2]
Install Driver Full Path Name = C:\T\PXPC\driver_setup.exe [LF]
> Start C:\T\PXPC\driver_setup.exe [] in C:\T\PXPC
> WaitForEnd 600000
[InstallDriver : the installer ended with exit code 3010]
[InstallDriver : MsgWaitForMultipleObjects ENd]
> IsOnline
)" + InstalledCheck(kDriverCbwUnison, true) + R"(> BringToFront
[CUSBAutoRunDlg::InstallDriver()] END.............
> Release C:\T\PXPC\driver_setup.exe
> ReleaseFolder C:\T\PXPC
)");

  package.serverDriver = L"C:\\T\\PXPC\\unison.MSI";
  pc.files[package.serverDriver] = L"package";
  package.preloadType = kDriverUnison;  // the phone carries the unison family: that one must be there
  pc.installerInstalls = false;
  pc.RemoveDrivers();
  pc.exitCode = 0;
  pc.programEnds = false;  // still running when its time was up
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), R"(
> IsOnline
Driver install from server
[CUSBAutoRunDlg::InstallDriver()] START.............
> HoldFolder C:\T\PXPC
> Hold C:\T\PXPC\unison.MSI
[InstallDriver : MsgWaitForMultipleObjects 1]
Install Driver Full Path Name = C:\T\PXPC\unison.MSI [LF]
> Start C:\Windows\system32\msiexec.exe [/x "C:\T\PXPC\unison.MSI" /qn] in C:\T\PXPC
> WaitForEnd 600000
[InstallDriver : the installer has not ended after 600 s]
[InstallDriver : MsgWaitForMultipleObjects 2]
Install Driver Full Path Name = C:\T\PXPC\unison.MSI [LF]
> Start C:\Windows\system32\msiexec.exe [/i "C:\T\PXPC\unison.MSI" /qn] in C:\T\PXPC
> WaitForEnd 600000
[InstallDriver : the installer has not ended after 600 s]
[InstallDriver : MsgWaitForMultipleObjects ENd]
> IsOnline
)" + InstalledCheck(kDriverUnison, false) + R"(> BringToFront
[InstallDriver()] IsInstalledDriver() return code : FALSE
[InstallDriver()] Cause: the installer has not ended after 600 s, and the driver's files are not installed
> Release C:\T\PXPC\unison.MSI
> ReleaseFolder C:\T\PXPC
)");

  // Without the maker's signature, in a folder that cannot be held, through a link, or missing,
  // nothing is run.
  pc.unsignedFiles.insert(package.serverDriver);
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  const std::string refused = Record();
  EXPECT_NE(refused.find("[SIGNATURE] [C:\\T\\PXPC\\unison.MSI] refused\n"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("> Start"), std::string::npos);
  pc.unsignedFiles.clear();
  pc.unholdableFolders.insert(L"C:\\T\\PXPC");
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), "\n> IsOnline\nDriver install from server\n[CUSBAutoRunDlg::InstallDriver()] START.............\n"
                      "> HoldFolder C:\\T\\PXPC refused\n[FOLDER] [C:\\T\\PXPC] refused, it cannot be held (32)\n");
  pc.unholdableFolders.clear();
  pc.links.insert(L"C:\\T\\PXPC\\unison.MSI");
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_NE(Record().find("Drv Setup Filename : C:\\T\\PXPC\\unison.MSI [LF]\n"
                          "[InstallDriver : IsExistFile(strPath)] return code : FALSE\n"),
            std::string::npos);
  package.serverDriver = L"x.e";
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_NE(Record().find("[InstallDriver : strDrvPath.IsEmpty()] return code : TRUE\n"), std::string::npos);
}

TEST_F(Workflow, ThePhonesInstallerIsCopiedAndRunOnlyWhileItHoldsThePhonesBytes) {
  pc.online = false;
  pc.folders.insert(L"C:\\T\\E");
  pc.files[L"E:\\setup.exe"] = L"phone's driver";
  DriverPackage package = PhonesDriverPackage();
  EXPECT_TRUE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), PhonesDriverInstall() + "\n");

  // Replaced right after the copy: not the phone's file, not run.
  pc.swappedAfterCopy.insert(package.preloadDriver);
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  const std::string swapped = Record();
  EXPECT_NE(swapped.find("Preload Driver[C:\\T\\E\\setup.exe] is not the phone's file[E:\\setup.exe] (0)\n"),
            std::string::npos)
      << swapped;
  EXPECT_EQ(swapped.find("> Start"), std::string::npos);

  // No phone drive, a folder that cannot be held, or a link where the copy goes: nothing copied,
  // nothing run.
  pc.swappedAfterCopy.clear();
  package.launchDrive.clear();
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), "\n> IsOnline\nFailed to get drive path\n");
  package.launchDrive = L"E";
  pc.unholdableFolders.insert(L"C:\\T\\E");
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  const std::string unheld = Record();
  EXPECT_NE(unheld.find("[FOLDER] [C:\\T\\E] refused, it cannot be held (32)\n"
                        "CopyFile Failed Src[E:\\setup.exe], Target[C:\\T\\E\\setup.exe]\n"),
            std::string::npos)
      << unheld;
  EXPECT_EQ(unheld.find("> Copy"), std::string::npos) << unheld;
  pc.unholdableFolders.clear();
  pc.links.insert(L"C:\\T\\E\\setup.exe");
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_NE(Record().find("CopyFile Failed Src[E:\\setup.exe], Target[C:\\T\\E\\setup.exe]\n"), std::string::npos);
  // Offline without the phone's installer there is nothing to install with.
  package.preloadDriver.clear();
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), "\n> IsOnline\n");
}

class PhoneStartCopy : public ::testing::Test {
 public:
  void SetUp() override {
    pc.base = L"C:\\T";
    pc.folders = {L"C:\\T"};
    pc.files = {{L"E:\\PX_Bootstrap.exe", L"program"}, {L"E:\\QVUTchkdl.dll", L"library"},
                {L"E:\\QVEUSBAutorun.dll", L"device library"}, {L"E:\\tools\\setup.msi", L"driver"}};
    config = {{L"filecount", L"5"}, {L"file00", L"QVUTchkdl.dll"}, {L"file01", L"PX_Bootstrap.exe"},
              {L"file02", L"tools\\setup.msi"}, {L"file03", L"QVEUSBAutorun.dll"}, {L"file04", L"config.ini"}};
  }

  int Copy() {
    std::wstring ini = L"[FILES]\n";
    for (const auto& [key, value] : config) ini += key + L"=" + value + L"\n";
    pc.files[L"E:\\config.ini"] = ini;
    return CopyPackageToPc(pc, pc, L"E:\\", L"PX_Bootstrap.exe");
  }

  ScriptedPc pc;
  std::map<std::wstring, std::wstring> config;
};

// The relaunch: its files held and proven the phone's, the program started as itself, and every
// hold kept until the copy waits for its user.
const char kRelaunch[] = R"(
ShellExecute[C:\T\E\PX_Bootstrap.exe][-l E][C:\T\E]
> Hold C:\T\E\PX_Bootstrap.exe
> Hold C:\T\E\QVEUSBAutorun.dll
> Hold C:\T\E\QVUTchkdl.dll
> Hold C:\T\E\config.ini
> Start C:\T\E\PX_Bootstrap.exe [-l E] in C:\T\E
> WaitUntilIdle 5000
> Release C:\T\E\PX_Bootstrap.exe
> Release C:\T\E\QVEUSBAutorun.dll
> Release C:\T\E\QVUTchkdl.dll
> Release C:\T\E\config.ini
> ReleaseFolder C:\T\E\tools
> ReleaseFolder C:\T\E
)";

TEST_F(PhoneStartCopy, CopiesTheListedFilesIntoHeldFoldersAndRelaunchesTheCopyWithTheDriveLetter) {
  EXPECT_EQ(Copy(), 1);
  EXPECT_EQ(Rendered(pc.events), R"(
> CreateFolder C:\T\E
> HoldFolder C:\T\E
> CreateFolder C:\T\E\tools
> HoldFolder C:\T\E\tools
> Copy E:\QVUTchkdl.dll -> C:\T\E\QVUTchkdl.dll
CopyFile Src[E:\QVUTchkdl.dll], Target[C:\T\E\QVUTchkdl.dll], time:[5]
> Copy E:\PX_Bootstrap.exe -> C:\T\E\PX_Bootstrap.exe
CopyFile Src[E:\PX_Bootstrap.exe], Target[C:\T\E\PX_Bootstrap.exe], time:[5]
> Copy E:\tools\setup.msi -> C:\T\E\tools\setup.msi
CopyFile Src[E:\tools\setup.msi], Target[C:\T\E\tools\setup.msi], time:[5]
> Copy E:\QVEUSBAutorun.dll -> C:\T\E\QVEUSBAutorun.dll
CopyFile Src[E:\QVEUSBAutorun.dll], Target[C:\T\E\QVEUSBAutorun.dll], time:[5]
> Copy E:\config.ini -> C:\T\E\config.ini
CopyFile Src[E:\config.ini], Target[C:\T\E\config.ini], time:[5]
CopyFile  - All Done time:[55])" + std::string(kRelaunch));
  EXPECT_EQ(pc.files[L"C:\\T\\E\\tools\\setup.msi"], L"driver");
}

TEST_F(PhoneStartCopy, TheProgramIsTheEntryOfItsOwnNameWhereverThePcFolderLies) {
  // A profile whose folder holds the program's name: another entry is not the program.
  pc.base = L"C:\\PX_Bootstrap.exe\\T";
  pc.folders = {pc.base};
  pc.files[L"E:\\License.txt"] = L"licence";
  config[L"filecount"] = L"6";
  config[L"file05"] = L"License.txt";
  EXPECT_EQ(Copy(), 1);
  const std::string record = Rendered(pc.events);
  EXPECT_NE(record.find("ShellExecute[C:\\PX_Bootstrap.exe\\T\\E\\PX_Bootstrap.exe][-l E][C:\\PX_Bootstrap.exe\\T\\E]\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("> Start C:\\PX_Bootstrap.exe\\T\\E\\PX_Bootstrap.exe [-l E]"), std::string::npos) << record;

  // The entry in another letter case is the program all the same.
  pc = ScriptedPc();
  SetUp();
  config[L"file01"] = L"px_bootstrap.EXE";
  pc.files[L"E:\\px_bootstrap.EXE"] = L"program";
  EXPECT_EQ(Copy(), 1);
  EXPECT_NE(Rendered(pc.events).find("> Start C:\\T\\E\\px_bootstrap.EXE [-l E] in C:\\T\\E\n"), std::string::npos);
}

TEST_F(PhoneStartCopy, NothingBesideTheCopyRedirectsItsLibraries) {
  // A redirection file is removed before the start.
  pc.folders.insert(L"C:\\T\\E");
  pc.files[L"C:\\T\\E\\PX_Bootstrap.exe.local"] = L"";
  EXPECT_EQ(Copy(), 1);
  const std::string removed = Rendered(pc.events);
  EXPECT_NE(removed.find("ShellExecute[C:\\T\\E\\PX_Bootstrap.exe][-l E][C:\\T\\E]\n> RemoveFile C:\\T\\E\\PX_Bootstrap.exe.local\n"
                         "> Hold C:\\T\\E\\PX_Bootstrap.exe\n"),
            std::string::npos)
      << removed;
  EXPECT_EQ(pc.files.count(L"C:\\T\\E\\PX_Bootstrap.exe.local"), 0u);

  // A folder (or a link) under that name is not removed, and nothing is started.
  for (bool link : {false, true}) {
    pc = ScriptedPc();
    SetUp();
    (link ? pc.links : pc.folders).insert(L"C:\\T\\E\\PX_Bootstrap.exe.local");
    EXPECT_EQ(Copy(), 0);
    const std::string refused = Rendered(pc.events);
    EXPECT_NE(refused.find("> RemoveFile C:\\T\\E\\PX_Bootstrap.exe.local\n"
                           "Relaunch refused: [C:\\T\\E\\PX_Bootstrap.exe.local] would redirect the program's libraries\n"
                           "> ReleaseFolder C:\\T\\E\\tools\n"),
              std::string::npos)
        << refused;
    EXPECT_EQ(refused.find("> Start"), std::string::npos) << refused;
    EXPECT_EQ(refused.find("> Message"), std::string::npos) << refused;
  }
}

TEST_F(PhoneStartCopy, AStartThatFailedIsNoRelaunch) {
  pc.programStarts = false;
  EXPECT_EQ(Copy(), 0);
  const std::string record = Rendered(pc.events);
  EXPECT_NE(record.find("> Start C:\\T\\E\\PX_Bootstrap.exe [-l E] in C:\\T\\E\n"
                        "Relaunch failed: [C:\\T\\E\\PX_Bootstrap.exe] did not start (740)\n"
                        "[CopyInstallPackage()] Cause: system error 740\n"
                        "> Release C:\\T\\E\\PX_Bootstrap.exe\n"),
            std::string::npos)
      << record;
  EXPECT_EQ(record.find("> WaitUntilIdle"), std::string::npos) << record;
  EXPECT_EQ(record.find("> Message"), std::string::npos) << record;
}

TEST_F(PhoneStartCopy, EachFailureIsShownWithItsCodeAndCauseAndNothingIsStarted) {
  // The warning as traced (code first, line breaks as \n), the cause when one is told, then shown.
  const auto cannotCreate = [](const std::string& code, const std::string& cause) {
    return "[MessageBox] " + code + " Failed to copy installation package to system.\\nCannot create temporary "
           "installation directory.\\n" + code + "\n" + (cause.empty() ? "" : "[CopyInstallPackage()] Cause: " + cause + "\n") +
           "> Message Failed to copy installation package to system.|Cannot create temporary installation directory.|" +
           code;
  };
  const auto cannotCopy = [](const std::string& file, const std::string& cause) {
    return "[MessageBox] [002] Failed to copy installation package to system.\\nCannot copy installation package to "
           "temporary folder.\\n[002]\\n" + file + "\n[CopyInstallPackage()] Cause: " + cause + "\n" +
           "> Message Failed to copy installation package to system.|Cannot copy installation package to temporary "
           "folder.|[002]|" + file;
  };
  struct Case {
    const char* name;
    void (*breakIt)(PhoneStartCopy&);
    std::string shown;
  };
  const Case cases[] = {
      {"no base folder", [](PhoneStartCopy& t) { t.pc.base.clear(); },
       cannotCreate("[004]", "the user has neither a Templates nor an Application Data folder")},
      {"drive folder is a link", [](PhoneStartCopy& t) { t.pc.links.insert(L"C:\\T\\E"); },
       cannotCreate("[000]", "a link on the way to [C:\\T\\E]")},
      {"drive folder cannot be made", [](PhoneStartCopy& t) { t.pc.refusedFolders.insert(L"C:\\T\\E"); },
       cannotCreate("[000]", "[C:\\T\\E] cannot be created: system error 5 (Access denied.)")},
      {"drive folder cannot be held", [](PhoneStartCopy& t) { t.pc.unholdableFolders.insert(L"C:\\T\\E"); },
       "[FOLDER] [C:\\T\\E] refused, it cannot be held (32)\n" + cannotCreate("[000]", "")},
      {"tools folder cannot be made", [](PhoneStartCopy& t) { t.pc.refusedFolders.insert(L"C:\\T\\E\\tools"); },
       cannotCreate("[001]", "[C:\\T\\E\\tools] cannot be created: system error 5 (Access denied.)")},
      {"tools folder cannot be held", [](PhoneStartCopy& t) { t.pc.unholdableFolders.insert(L"C:\\T\\E\\tools"); },
       cannotCreate("[001]", "")},
      {"file missing on the phone", [](PhoneStartCopy& t) { t.pc.files.erase(L"E:\\tools\\setup.msi"); },
       cannotCopy("E:\\tools\\setup.msi", "system error 2 (File not found.)")},
      {"name leaves the folder", [](PhoneStartCopy& t) { t.config[L"file02"] = L"..\\x.dll"; },
       cannotCopy("E:\\..\\x.dll", "config.ini lists a name that leaves the package folder or names a device")},
      {"copy not the phone's", [](PhoneStartCopy& t) { t.pc.swappedAfterCopy.insert(L"C:\\T\\E\\QVUTchkdl.dll"); },
       "CopyFile Src[E:\\QVUTchkdl.dll], Target[C:\\T\\E\\QVUTchkdl.dll] is not the phone's file (0, 0)\n"
       "> Release C:\\T\\E\\PX_Bootstrap.exe\n> Release C:\\T\\E\\QVEUSBAutorun.dll\n" +
           cannotCopy("E:\\QVUTchkdl.dll", "the copy on the PC does not hold the phone's bytes")},
      {"configuration not copied", [](PhoneStartCopy& t) { t.config[L"filecount"] = L"4"; },
       "CopyFile Src[E:\\config.ini], Target[C:\\T\\E\\config.ini] is not the phone's file (0, 2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pc = ScriptedPc();
    SetUp();
    c.breakIt(*this);
    EXPECT_EQ(Copy(), 0);
    const std::string record = Rendered(pc.events);
    EXPECT_NE(record.find(c.shown + "\n"), std::string::npos) << record;
    EXPECT_EQ(record.find("> Start"), std::string::npos) << record;
  }
  // A package without the program has nothing to start.
  pc = ScriptedPc();
  SetUp();
  config[L"filecount"] = L"1";
  EXPECT_EQ(Copy(), 0);
  const std::string record = Rendered(pc.events);
  EXPECT_NE(record.find("ShellExecute[][-l E][]\nNot Launch\n"), std::string::npos) << record;
  EXPECT_EQ(record.find("> Start"), std::string::npos);
}

}  // namespace
}  // namespace qv::bootstrap
