// The driver manager's steps on a scripted PC: the phone's installer as config.ini names it, the
// families found under Program Files with their trace, the versions read online and offline, and
// an installer's failed start.
#include "bootstrap/core/driver_steps.h"

#include <gtest/gtest.h>

#include <string>

#include "bootstrap/core/driver_tables.h"
#include "tests/native/bootstrap/scripted_pc.h"

namespace qv::bootstrap {
namespace {

using testing::ScriptedPc;

std::wstring Traced(const ScriptedPc& pc) {
  std::wstring text;
  for (const std::wstring& event : pc.events) text += event;
  return text;
}

class DriverSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    run.m_strModulePath = L"C:\\T\\E\\";
    run.m_strPhoneDrive = L"E";
  }
  ScriptedPc pc;
  RunFields run;
};

// Its trace, found or not, is checked with the workflow's runs.
TEST_F(DriverSteps, ThePhonesInstallerIsFoundBesideTheProgramWithItsFamily) {
  pc.programConfig = L"[DRIVER]\npreload=drv\\unison.msi\npreload_type=unison\n";
  EXPECT_EQ(GetPreloadDriver(pc, run), L"C:\\T\\E\\drv\\unison.msi");
  EXPECT_EQ(run.m_nPreloadType, kDriverUnison);
  EXPECT_EQ(run.m_strPreloadType, L"unison");
  const DriverPackage package = DriverPackageOf(pc, run);
  EXPECT_EQ(package.preloadName, L"drv\\unison.msi");
  EXPECT_EQ(package.launchDrive, L"E");
  EXPECT_EQ(package.preloadType, kDriverUnison);

  // A name that leaves the folder is none: the family stays, the phone supports no preload.
  pc.programConfig = L"[DRIVER]\npreload=..\\setup.exe\npreload_type=modem\n";
  EXPECT_EQ(GetPreloadDriver(pc, run), L"");
  EXPECT_EQ(run.m_nPreloadType, kDriverUnison);
  EXPECT_TRUE(DriverPackageOf(pc, run).preloadName.empty());
  // Started without a drive letter, the phone's drive is the program's folder: no drive to copy from.
  run.m_strPhoneDrive = run.m_strModulePath;
  EXPECT_TRUE(DriverPackageOf(pc, run).launchDrive.empty());
}

TEST_F(DriverSteps, AFamilyIsInstalledWhenItsFolderOrTheVariantMissesNoPairAndProgramFilesIsKnown) {
  pc.RemoveDrivers();
  const std::wstring folder = GetDriverFolder(pc.programFiles, kDriverAndroid) + L"s";
  for (const DriverFilePair& pair : DriverFilePairs(kDriverAndroid)) pc.files[folder + L"\\" + pair.name64] = L"x";
  EXPECT_TRUE(IsInstalledDriver(pc, kDriverAndroid));
  EXPECT_EQ(Traced(pc), L"[IsInstalledDriver()] START..............\r\nIsInstalledDriver:\t[" + folder.substr(0, folder.size() - 1) +
                            L"][3]\nIsInstalledDriver:\t[" + folder + L"][0]\n[IsInstalledDriver()] END..............\r\n");
  pc.files.erase(folder + L"\\qvandbus64.sys");
  EXPECT_FALSE(IsInstalledDriver(pc, kDriverAndroid));
  pc.events.clear();
  pc.programFiles.clear();
  pc.InstallDrivers();
  EXPECT_FALSE(IsInstalledDriver(pc, kDriverAndroid));
  EXPECT_EQ(Traced(pc), L"[IsInstalledDriver()] START..............\r\n");
}

TEST_F(DriverSteps, VersionsAreAnnouncedOnlineByTheServerAndOfflineByThePhone) {
  const std::wstring diag = GetDriverFolder(pc.programFiles, kDriverCbwUnison) + L"\\qvusbdiag.sys";
  pc.versions[diag] = L"3.0.0.0";
  run.m_strServerConfigFile = L"C:\\T\\serverconfig.ini";
  pc.files[run.m_strServerConfigFile] = L"[FILES_DRIVER]\ncb_driver_version=3.0.0.1\n";
  pc.programConfig = L"[DRIVER]\ncb_driver_version=3.0.0.0\n";
  EXPECT_TRUE(IsDriverVersionOutdated(pc, run, kDriverCbwUnison, true));
  EXPECT_FALSE(IsDriverVersionOutdated(pc, run, kDriverCbwUnison, false));
  // A file without a version resource is as old as can be.
  pc.versions.erase(diag);
  EXPECT_TRUE(IsDriverVersionOutdated(pc, run, kDriverCbwUnison, false));

  // So the driver is due online, with every family installed, and the overwrite flag forces it.
  pc.versions[diag] = L"3.0.0.0";
  EXPECT_TRUE(IsRequireUpDrv(pc, run));
  pc.files[run.m_strServerConfigFile] = L"[FILES_DRIVER]\nunison_overwrite=true\n";
  pc.RemoveDrivers();
  pc.InstallDrivers({kDriverModem});
  pc.events.clear();
  EXPECT_TRUE(IsRequireUpDrv(pc, run));
  EXPECT_EQ(pc.events.size(), 6u);  // the start, the probe and the one look at the modem family
}

// How an installer is started and waited for, and the exit code it ended with, are traced with
// the workflow's installation.
TEST_F(DriverSteps, AnInstallerThatCannotStartKeepsTheSystemsError) {
  // Without the system folder nothing starts; a start that fails keeps the system's error.
  pc.files[L"C:\\T\\E\\setup.exe"] = L"MZ";
  pc.systemFolder.clear();
  InstallerRun ran = RunInstaller(pc, L"C:\\T\\E\\u.msi", kMsiInstall, true);
  EXPECT_FALSE(ran.started);
  EXPECT_EQ(ran.error, 3u);
  EXPECT_EQ(pc.events.size(), 1u);
  pc.programStarts = false;
  ran = RunInstaller(pc, L"C:\\T\\E\\setup.exe", kMsiInstall, false);
  EXPECT_FALSE(ran.started);
  EXPECT_EQ(ran.error, pc.startError);
}

}  // namespace
}  // namespace qv::bootstrap
