// The workflow's record on a scripted PC, shared by the workflow's tests: the record rendered as
// text and searched, the PC start's fixture, and the pieces of the records that several runs share.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/workflow.h"
#include "tests/native/bootstrap/scripted_pc.h"

namespace qv::bootstrap::testing {

// The record as text, one event a line. A trace line's CR LF is left out; a line that ends in a
// bare LF is marked [LF], one without an end [no end]. Other characters than ASCII show as '?'.
inline std::string Rendered(const std::vector<std::wstring>& events) {
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

// Whether the record holds `part`, or lacks it; a failure shows both.
inline ::testing::AssertionResult Holds(const std::string& record, const std::string& part) {
  if (record.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the record lacks:\n" << part << "\nin:" << record;
}
inline ::testing::AssertionResult Lacks(const std::string& record, const std::string& part) {
  if (record.find(part) == std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the record holds:\n" << part << "\nin:" << record;
}

// The trace of one look for a family's files under the scripted PC's Program Files: its folder,
// then the folder's variant, each with the number of the family's pairs missing there. The files
// of an installed family are in its folder only.
inline std::string InstalledCheck(int type, bool installed) {
  std::string folder;
  for (wchar_t c : GetDriverFolder(L"C:\\Program Files", type)) folder += static_cast<char>(c);
  const std::string all = std::to_string(DriverFilePairs(type).size());
  return "[IsInstalledDriver()] START..............\nIsInstalledDriver:\t[" + folder + "][" + (installed ? "0" : all) +
         "] [LF]\nIsInstalledDriver:\t[" + folder + "s][" + all + "] [LF]\n[IsInstalledDriver()] END..............\n";
}

// The phone names no driver installer of its own.
inline const char kNoPreloadDriver[] = "GetPreloadDriver ExePath = [C:\\T\\E\\]\nThis device not support preload driver\n";
// Online with every family installed: the driver is not due.
inline std::string DriverCurrentOnline() {
  return "[IsRequireUpDrv()] START..............\n> IsOnline\n" + InstalledCheck(kDriverModem, true) +
         InstalledCheck(kDriverCbwUnison, true);
}

inline const wchar_t kServerConfig[] =
    L"[PXPACKAGE]\npack_version=2.0.0.1\n[FILES_PXPC]\nfilecount=2\nfile00=PXPC.exe\nfile01=pxpcconfig.ini\n"
    L"[FILES_DRIVER]\ndriver_name_cbw_unison=driver_setup.exe\n";
inline const wchar_t kToolConfig[] = L"[PXPACKAGE]\npack_version=2.0.0.1\n";

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

// The tool's start from the package, up to the end of its step.
inline const char kToolStart[] = R"(
[RunPXPC()] START.............
[RunPXPC()] Exe File = (C:\T\PXPC\PXPC.exe) [LF]
[RunPXPC()] Work Path = (C:\T\PXPC) [LF]
> HoldFolder C:\T\PXPC
> Hold C:\T\PXPC\PXPC.exe
> Start C:\T\PXPC\PXPC.exe [-pxpc;E;U;Model X;] in C:\T\PXPC
> Release C:\T\PXPC\PXPC.exe
)";

// Pieces of the online run's record.
inline const std::string kDownloadStart = R"(
[AutoRun_PXBootstrap()] START...............
> IsOnline
> Display download start
[DownloadPXPC_Package()] START...................
> OpenUsageReport C:\T\E\ E:\
> Report [] START)";
// The update arrives in a fresh folder of its own, and takes the package's place when complete.
inline const std::string kPackageFiles = R"(
> Download http://dl.example/pxpc/PXPC.exe -> C:\T\PXPC.update-1005\PXPC.exe (cancellable)
> Download http://dl.example/pxpc/pxpcconfig.ini -> C:\T\PXPC.update-1005\pxpcconfig.ini (cancellable))";
inline const std::string kPackageInPlace = R"(
> Move C:\T\PXPC.update-1005\PXPC.exe -> C:\T\PXPC\PXPC.exe
> Move C:\T\PXPC.update-1005\pxpcconfig.ini -> C:\T\PXPC\pxpcconfig.ini)";
inline const std::string kUpdateFolderGone = R"(
> ReleaseFolder C:\T\PXPC.update-1005
> ReleaseFolder C:\T\PXPC
> RemoveFolder C:\T\PXPC.update-1005)";
inline const std::string kDriverFile = R"(
> Download http://dl.example/pxpc/driver_setup.exe -> C:\T\PXPC.update-1005\driver_setup.exe (cancellable))";
inline const std::string kUpdateFolder = R"(
> HoldFolder C:\T\PXPC
> CreateFolder C:\T\PXPC.update-1005
> HoldFolder C:\T\PXPC.update-1005)";
inline const std::string kDriverInPlace = R"(
> Move C:\T\PXPC.update-1005\driver_setup.exe -> C:\T\PXPC\driver_setup.exe)";
inline const std::string kDownloadReported = R"(
[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Success.
> Report [H42] OK
[DownloadPXPC_Package()] pFuncUpdateGBCSync (END) Success.
[DownloadPXPC_Package()] END...(TRUE)................
> Display download stop)";
// An installer's run in its held folder, from its start to the release of its folder: a setup
// program that ends with its exit code, after which the driver family is there.
inline std::string HeldInstallerRun(const std::string& folder, const std::string& installer, int family,
                                    int exitCode = 0) {
  return "\n[CUSBAutoRunDlg::InstallDriver()] START.............\n> HoldFolder " + folder + "\n> Hold " + folder +
         "\\" + installer +
         "\n[InstallDriver : MsgWaitForMultipleObjects 1]\n[InstallDriver : MsgWaitForMultipleObjects 2]"
         "\nInstall Driver Full Path Name = " + folder + "\\" + installer + " [LF]\n> Start " + folder + "\\" +
         installer + " [] in " + folder + "\n> WaitForEnd 600000"
         "\n[InstallDriver : the installer ended with exit code " + std::to_string(exitCode) +
         "]\n[InstallDriver : MsgWaitForMultipleObjects ENd]"
         "\n> IsOnline\n" + InstalledCheck(family, true) +
         "> BringToFront\n[CUSBAutoRunDlg::InstallDriver()] END.............\n> Release " + folder + "\\" + installer +
         "\n> ReleaseFolder " + folder;
}
// The server's installer, which the download put in the package folder, installed there.
inline std::string DriverInstall() {
  return "\n> IsOnline\n> Display install start\n> IsOnline\nDriver install from server" +
         HeldInstallerRun("C:\\T\\PXPC", "driver_setup.exe", kDriverCbwUnison) + "\n> Display install stop\n> Progress 2000";
}
// The phone's installer of the modem family, copied beside the program and run there offline.
inline std::string PhonesDriverInstall() {
  return R"(
> IsOnline
GetPreloadDriver ExePath = [E:\]
Copy Preload Driver Path = [E:\setup.exe]
> HoldFolder C:\T\E
> Copy E:\setup.exe -> C:\T\E\setup.exe
Copy Preload Driver - OK
> ReleaseFolder C:\T\E)" + HeldInstallerRun("C:\\T\\E", "setup.exe", kDriverModem);
}
inline const std::string kRunEnd =
    std::string(kToolStart) + "[RunPXPC()] END.............\n[AutoRun_PXBootstrap()] END...............\n";

}  // namespace qv::bootstrap::testing
