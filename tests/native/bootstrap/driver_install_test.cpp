// The USB driver in the workflow on a scripted PC: due online and offline, fetched from the
// server or copied from the phone, and installed only while held and proven.
#include "bootstrap/core/workflow.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/bootstrap/workflow_record.h"

namespace qv::bootstrap::testing {
namespace {

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
  EXPECT_TRUE(Holds(failed, InstalledCheck(kDriverCbwUnison, false) + R"(> BringToFront
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
)"));
  EXPECT_TRUE(Lacks(failed, "[RunPXPC()]"));
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
  EXPECT_TRUE(DownloadPXPC_Package(pc, pc, run));
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
  EXPECT_TRUE(DownloadPXPC_Package(pc, pc, fresh));
  EXPECT_EQ(fresh.m_bPxpcInstallsDriver, 1);
  EXPECT_TRUE(Lacks(Record(), "> Download"));
  EXPECT_TRUE(InstallDriver(pc, pc, fresh));
  EXPECT_EQ(Record(), "\n[CUSBAutoRunDlg::InstallDriver()] SKIP.............\n");
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
  EXPECT_EQ(Record(), "\n[AutoRun_PXBootstrap()] START...............\n> IsOnline" + std::string(kToolStart) +
                          R"([RunPXPC()] END - Failed to run PXPC.............
[RunPXPC()] Cause: [C:\T\PXPC\PXPC.exe] did not start: system error 2 (File not found.)
[CheckSystem()] IsConnectedInternet() ==> FALSE...
[AutoRun_PXBootstrap()] Timer call exit function
[AutoRun_PXBootstrap()] END...............
)");
}

TEST_F(Workflow, TheServersInstallerRunsHeldAndSignedInItsHeldFolderAnMsiIsRemovedFirst) {
  DriverPackage package;
  package.serverDriver = L"C:\\T\\PXPC\\driver_setup.exe";
  pc.folders.insert(L"C:\\T\\PXPC");
  pc.files[package.serverDriver] = L"driver";
  pc.exitCode = 3010;
  EXPECT_TRUE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), "\n> IsOnline\nDriver install from server" +
                          HeldInstallerRun("C:\\T\\PXPC", "driver_setup.exe", kDriverCbwUnison, 3010) + "\n");

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
  EXPECT_TRUE(Holds(refused, "[SIGNATURE] [C:\\T\\PXPC\\unison.MSI] refused\n"));
  EXPECT_TRUE(Lacks(refused, "> Start"));
  pc.unsignedFiles.clear();
  pc.unholdableFolders.insert(L"C:\\T\\PXPC");
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), "\n> IsOnline\nDriver install from server\n[CUSBAutoRunDlg::InstallDriver()] START.............\n"
                      "> HoldFolder C:\\T\\PXPC refused\n[FOLDER] [C:\\T\\PXPC] refused, it cannot be held (32)\n");
  pc.unholdableFolders.clear();
  pc.links.insert(L"C:\\T\\PXPC\\unison.MSI");
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_TRUE(Holds(Record(), "Drv Setup Filename : C:\\T\\PXPC\\unison.MSI [LF]\n"
                              "[InstallDriver : IsExistFile(strPath)] return code : FALSE\n"));
  package.serverDriver = L"x.e";
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_TRUE(Holds(Record(), "[InstallDriver : strDrvPath.IsEmpty()] return code : TRUE\n"));
}

TEST_F(Workflow, ThePhonesInstallerIsCopiedAndRunOnlyWhileItHoldsThePhonesBytes) {
  pc.online = false;
  pc.folders.insert(L"C:\\T\\E");
  pc.files[L"E:\\setup.exe"] = L"phone's driver";
  DriverPackage package;  // the phone's installer of the modem family
  package.preloadDriver = L"C:\\T\\E\\setup.exe";
  package.preloadName = L"setup.exe";
  package.launchDrive = L"E";
  package.programFolder = L"C:\\T\\E\\";
  package.preloadType = kDriverModem;
  EXPECT_TRUE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), PhonesDriverInstall() + "\n");

  // Replaced right after the copy: not the phone's file, not run.
  pc.swappedAfterCopy.insert(package.preloadDriver);
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  const std::string swapped = Record();
  EXPECT_TRUE(Holds(swapped, "Preload Driver[C:\\T\\E\\setup.exe] is not the phone's file[E:\\setup.exe] (0)\n"));
  EXPECT_TRUE(Lacks(swapped, "> Start"));

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
  EXPECT_TRUE(Holds(unheld, "[FOLDER] [C:\\T\\E] refused, it cannot be held (32)\n"
                            "CopyFile Failed Src[E:\\setup.exe], Target[C:\\T\\E\\setup.exe]\n"));
  EXPECT_TRUE(Lacks(unheld, "> Copy"));
  pc.unholdableFolders.clear();
  pc.links.insert(L"C:\\T\\E\\setup.exe");
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_TRUE(Holds(Record(), "CopyFile Failed Src[E:\\setup.exe], Target[C:\\T\\E\\setup.exe]\n"));
  // Offline without the phone's installer there is nothing to install with.
  package.preloadDriver.clear();
  EXPECT_FALSE(InstallDriverPackage(pc, pc, package));
  EXPECT_EQ(Record(), "\n> IsOnline\n");
}

}  // namespace
}  // namespace qv::bootstrap::testing
