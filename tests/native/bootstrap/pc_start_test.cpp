// The PC start on a scripted PC: the update check and what it makes due, the run that follows,
// and the PC tool's start from the package, as one record of trace lines, actions and the window.
#include "bootstrap/core/workflow.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/bootstrap/workflow_record.h"

namespace qv::bootstrap::testing {
namespace {

// The update check's record up to the question of the tool's version; the first run makes the
// package folder.
std::string UpdateCheck(bool firstRun) {
  return std::string("\n> IsOnline\n") + (firstRun ? "> CreateFolder C:\\T\\PXPC\n" : "") + R"(> CheckPXPC C:\T\E\ E:\ []
> HoldFolder C:\T
> Download http://dl.example/pxpc/serverconfig.ini -> C:\T\serverconfig.ini (within 60000 ms)
> ReleaseFolder C:\T
)" + kNoPreloadDriver + DriverCurrentOnline() + "[IsRequireUpPXPC()] START..............\n> IsOnline\n";
}

TEST_F(Workflow, FirstRunOnlineFetchesTheServersConfigDownloadsThePackageAndStartsTheTool) {
  EXPECT_EQ(PreparePcStart(pc, run), PcStartStep::AskLicence);
  EXPECT_EQ(Record(), UpdateCheck(true));
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
  EXPECT_EQ(Record(), UpdateCheck(false) + "[IsRequireUpPXPC()] END..............\n");
  // Nothing is due: the tool starts from the complete package, without a download.
  EXPECT_TRUE(Run());
  EXPECT_EQ(Record(), "\n[AutoRun_PXBootstrap()] START...............\n> IsOnline" + kRunEnd);

  pc.files.erase(L"C:\\T\\PXPC\\pxpcconfig.ini");
  EXPECT_TRUE(IsRequireUpPXPC(pc, run));  // nothing installed, as far as the package knows
  pc.files[L"C:\\T\\PXPC\\pxpcconfig.ini"] = kToolConfig;
  pc.files.erase(L"C:\\T\\PXPC\\PXPC.exe");
  EXPECT_TRUE(IsRequireUpPXPC(pc, run));
  // With a file missing and nothing due, the tool is not started from an incomplete package.
  EXPECT_FALSE(Run());
  EXPECT_TRUE(Lacks(Record(), "[RunPXPC()]"));
  pc.files[L"C:\\T\\PXPC\\PXPC.exe"] = L"tool";
  pc.files[L"C:\\T\\PXPC\\pxpcconfig.ini"] = L"[PXPACKAGE]\npack_version=2.0.0.0\n";
  EXPECT_TRUE(IsRequireUpPXPC(pc, run));
  pc.online = false;
  pc.events.clear();
  EXPECT_FALSE(IsRequireUpPXPC(pc, run));
  EXPECT_EQ(Record(), "\n[IsRequireUpPXPC()] START..............\n> IsOnline\n");
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
      {"serverconfig.ini missing", [](ScriptedPc& pc, RunFields&) { pc.server.clear(); },
       "> Download http://dl.example/pxpc/serverconfig.ini -> C:\\T\\serverconfig.ini (within 60000 ms)\n"
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

TEST_F(Workflow, TheToolIsNeitherStartedThroughALinkNorUnderANameThatLeavesThePackage) {
  InstallCurrentPackage();
  pc.links.insert(L"C:\\T\\PXPC");
  EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
  const std::string linked = Record();
  EXPECT_TRUE(Lacks(linked, "> Start"));
  EXPECT_TRUE(Holds(linked, "[RunPXPC()] END - Failed to run PXPC.............\n"));
  pc.links.clear();
  for (const wchar_t* name : {L"", L"..\\PXPC.exe", L"con"}) {
    run.m_strPxpcName = name;
    EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
    EXPECT_EQ(Record(), "\n[RunPXPC()] START.............\n[RunPXPC()] PXPCFilename is Empty........\n");
  }
  run.m_strPxpcName = L"PXPC.exe";
  pc.base.clear();
  EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
  EXPECT_TRUE(Holds(Record(), "[RunPXPC()] SHGetSpecialFolderPath is failed........\n"));
}

}  // namespace
}  // namespace qv::bootstrap::testing
