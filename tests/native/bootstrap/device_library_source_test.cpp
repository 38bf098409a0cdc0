// Where the device library may be loaded from: the phone start on the phone's CD-ROM root, the PC
// start in its relaunch folder on the drive it was launched for, and every other place refused
// with its reason; the verdict on the PC start's copy and the refusal's trace line.
#include "bootstrap/core/device_library_source.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace qv::bootstrap {
namespace {

const std::wstring kTemplates = L"C:\\users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Templates";
const std::wstring kRelaunchE = kTemplates + L"\\E\\";

// A PC with the given CD-ROM roots and base folder, which records every question asked.
struct ScriptedDrives {
  std::set<std::wstring> cdRoms{L"E:\\"};
  std::wstring base = kTemplates;
  std::vector<std::wstring> asked;

  DeviceLibraryQueries Queries() {
    return {[this](const std::wstring& root) {
              asked.push_back(L"cdrom " + root);
              return cdRoms.count(root) != 0;
            },
            [this] {
              asked.push_back(L"base");
              return base;
            }};
  }

  DeviceLibraryChoice Choose(const std::wstring& program, const std::wstring& launchDrive) {
    asked.clear();
    return ChooseDeviceLibrary(program, launchDrive, Queries());
  }
};

TEST(DeviceLibrarySource, ThePhoneStartLoadsTheLibraryOfItsCdRomRoot) {
  ScriptedDrives pc;
  DeviceLibraryChoice choice = pc.Choose(L"E:\\PX_Bootstrap.exe", L"");
  EXPECT_EQ(choice.way, DeviceLibraryWay::PhoneRoot);
  EXPECT_EQ(choice.library, L"E:\\QVEUSBAutorun.dll");
  EXPECT_TRUE(choice.reason.empty());
  EXPECT_EQ(pc.asked, (std::vector<std::wstring>{L"cdrom E:\\"}));

  // Whatever the command line says: the root of a CD-ROM drive is the phone's.
  pc.cdRoms = {L"f:\\"};
  choice = pc.Choose(L"f:\\PX_Bootstrap.exe", L"E");
  EXPECT_EQ(choice.way, DeviceLibraryWay::PhoneRoot);
  EXPECT_EQ(choice.library, L"f:\\QVEUSBAutorun.dll");
  EXPECT_EQ(pc.asked, (std::vector<std::wstring>{L"cdrom f:\\"}));
}

TEST(DeviceLibrarySource, APhoneStartAnywhereElseLoadsNothing) {
  ScriptedDrives pc;
  // A drive root that is a hard disk, a network drive or a removable disk.
  DeviceLibraryChoice choice = pc.Choose(L"D:\\PX_Bootstrap.exe", L"");
  EXPECT_EQ(choice.way, DeviceLibraryWay::Refused);
  EXPECT_EQ(choice.library, L"D:\\QVEUSBAutorun.dll");
  EXPECT_EQ(choice.reason, L"[D:\\] is not a CD-ROM drive");

  // A folder of the PC (a download folder) or a sub-folder of the phone's drive: its drive's type
  // is never asked, the folder alone refuses.
  for (const wchar_t* program : {L"C:\\users\\u\\Downloads\\phone\\PX_Bootstrap.exe", L"E:\\bin\\PX_Bootstrap.exe",
                                 L"\\\\?\\E:\\PX_Bootstrap.exe", L"\\\\server\\share\\PX_Bootstrap.exe",
                                 L"1:\\PX_Bootstrap.exe"}) {
    choice = pc.Choose(program, L"");
    EXPECT_EQ(choice.way, DeviceLibraryWay::Refused) << program;
    EXPECT_EQ(choice.reason, L"the program's folder is not a drive's root") << program;
    EXPECT_EQ(pc.asked, std::vector<std::wstring>()) << program;
  }

  choice = pc.Choose(L"PX_Bootstrap.exe", L"");
  EXPECT_EQ(choice.way, DeviceLibraryWay::Refused);
  EXPECT_EQ(choice.reason, L"the program's folder is unknown");
  choice = pc.Choose(L"", L"E");
  EXPECT_EQ(choice.reason, L"the program's folder is unknown");
  EXPECT_EQ(pc.asked, std::vector<std::wstring>());
}

TEST(DeviceLibrarySource, ThePcStartLoadsTheCopyInTheRelaunchFolderOfItsPhone) {
  ScriptedDrives pc;
  DeviceLibraryChoice choice = pc.Choose(kRelaunchE + L"PX_Bootstrap.exe", L"E");
  EXPECT_EQ(choice.way, DeviceLibraryWay::PhonesCopy);
  EXPECT_EQ(choice.library, kRelaunchE + L"QVEUSBAutorun.dll");
  EXPECT_EQ(choice.phoneLibrary, L"E:\\QVEUSBAutorun.dll");
  // The program's own drive is a hard disk: its type needs no question; the phone's does.
  EXPECT_EQ(pc.asked, (std::vector<std::wstring>{L"base", L"cdrom E:\\"}));

  // Windows compares the folder's letters without regard to case.
  choice = pc.Choose(L"c:\\USERS\\u\\appdata\\Roaming\\Microsoft\\Windows\\Templates\\e\\PX_Bootstrap.exe", L"E");
  EXPECT_EQ(choice.way, DeviceLibraryWay::PhonesCopy);
  EXPECT_EQ(choice.phoneLibrary, L"E:\\QVEUSBAutorun.dll");
}

TEST(DeviceLibrarySource, ThePcStartRefusesEveryOtherFolder) {
  ScriptedDrives pc;
  pc.cdRoms = {L"E:\\", L"F:\\"};
  const std::wstring notRelaunch = L"the program's folder is not the relaunch folder [" + kRelaunchE + L"]";
  const std::vector<std::wstring> elsewhere = {kTemplates + L"\\F\\PX_Bootstrap.exe",          // another phone's folder
                                      kRelaunchE + L"bin\\PX_Bootstrap.exe",          // below it
                                      kTemplates + L"\\X\\..\\E\\PX_Bootstrap.exe",  // the same folder by another way
                                      L"\\\\?\\" + kRelaunchE + L"PX_Bootstrap.exe", L"D:\\PX_Bootstrap.exe"};
  for (const std::wstring& program : elsewhere) {
    const DeviceLibraryChoice choice = pc.Choose(program, L"E");
    EXPECT_EQ(choice.way, DeviceLibraryWay::Refused) << program;
    EXPECT_EQ(choice.reason, notRelaunch) << program;
    EXPECT_TRUE(choice.phoneLibrary.empty()) << program;
  }
  // Launched for F, the folder of E is not its relaunch folder.
  EXPECT_EQ(pc.Choose(kRelaunchE + L"PX_Bootstrap.exe", L"F").reason,
            L"the program's folder is not the relaunch folder [" + kTemplates + L"\\F\\]");
}

TEST(DeviceLibrarySource, ThePcStartNeedsItsPhoneOnACdRomDrive) {
  ScriptedDrives pc;
  pc.cdRoms = {L"C:\\", L"F:\\"};  // the program's own drive is no evidence
  DeviceLibraryChoice choice = pc.Choose(kRelaunchE + L"PX_Bootstrap.exe", L"E");
  EXPECT_EQ(choice.way, DeviceLibraryWay::Refused);
  EXPECT_EQ(choice.reason, L"the launch drive [E:\\] is not a CD-ROM drive");
  EXPECT_EQ(pc.asked, (std::vector<std::wstring>{L"base", L"cdrom E:\\"}));
}

TEST(DeviceLibrarySource, ThePcStartRefusesWithoutALetterOrARelaunchFolder) {
  ScriptedDrives pc;
  for (const std::wstring& drive : {std::wstring(L"1"), std::wstring(1, wchar_t(0x0145))}) {
    const DeviceLibraryChoice choice = pc.Choose(kRelaunchE + L"PX_Bootstrap.exe", drive);
    EXPECT_EQ(choice.way, DeviceLibraryWay::Refused);
    EXPECT_EQ(choice.reason, L"the launch drive [" + drive + L"] is no drive letter");
    EXPECT_EQ(pc.asked, std::vector<std::wstring>());
  }
  // Without a base folder, "\E\" would pass for the relaunch folder.
  pc.base.clear();
  const DeviceLibraryChoice choice = pc.Choose(L"\\E\\PX_Bootstrap.exe", L"E");
  EXPECT_EQ(choice.way, DeviceLibraryWay::Refused);
  EXPECT_EQ(choice.reason, L"the relaunch folder is unknown");
  EXPECT_EQ(pc.asked, std::vector<std::wstring>{L"base"});
}

TEST(DeviceLibrarySource, OnlyACopyHeldWithThePhonesBytesIsLoaded) {
  const std::wstring phone = L"E:\\QVEUSBAutorun.dll";
  CopyProof proof;
  proof.copyError = 2;
  proof.phoneError = 5;
  EXPECT_EQ(CopyProofRefusal(proof, phone), L"the copy cannot be held (error 2)");
  proof.copyHeld = true;
  EXPECT_EQ(CopyProofRefusal(proof, phone), L"the phone's library [E:\\QVEUSBAutorun.dll] cannot be held (error 5)");
  proof.phoneHeld = true;
  EXPECT_EQ(CopyProofRefusal(proof, phone), L"not the bytes of the phone's library [E:\\QVEUSBAutorun.dll]");
  proof.sameBytes = true;
  EXPECT_EQ(CopyProofRefusal(proof, phone), L"");
  // Same bytes reported without both holds prove nothing.
  proof.phoneHeld = false;
  EXPECT_NE(CopyProofRefusal(proof, phone), L"");
}

TEST(DeviceLibrarySource, ARefusalIsOneTraceLineWithThePathAndTheReason) {
  EXPECT_EQ(FormatDeviceLibraryRefusal(L"D:\\QVEUSBAutorun.dll", L"[D:\\] is not a CD-ROM drive"),
            L"[QVEUSBAutorun.dll] [D:\\QVEUSBAutorun.dll] not loaded: [D:\\] is not a CD-ROM drive\r\n");
  // The load's own failures: the system's error, or the export that is missing.
  EXPECT_EQ(LoadErrorRefusal(L"LoadLibraryExW failed", 193), L"LoadLibraryExW failed (error 193)");
  EXPECT_EQ(MissingExportRefusal("ChangeMode2TET"), L"no export ChangeMode2TET");
}

}  // namespace
}  // namespace qv::bootstrap
