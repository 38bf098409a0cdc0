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
const std::wstring kInRelaunchE = kRelaunchE + L"PX_Bootstrap.exe";
using Asked = std::vector<std::wstring>;

// The choice on a PC with the given CD-ROM roots and base folder, with every question it asked.
DeviceLibraryChoice Choose(const std::wstring& program, const std::wstring& launchDrive, const std::set<std::wstring>& cdRoms,
                           const std::wstring& base, Asked& asked) {
  return ChooseDeviceLibrary(program, launchDrive,
                             {[&](const std::wstring& root) {
                                asked.push_back(L"cdrom " + root);
                                return cdRoms.count(root) != 0;
                              },
                              [&] {
                                asked.push_back(L"base");
                                return base;
                              }});
}

TEST(DeviceLibrarySource, ThePhoneStartLoadsItsCdRomRootsLibraryAndThePcStartTheCopyInItsRelaunchFolder) {
  const std::wstring otherCase = L"c:\\USERS\\u\\appdata\\Roaming\\Microsoft\\Windows\\Templates\\e\\";
  struct Case {
    const char* name;
    std::set<std::wstring> cdRoms;
    std::wstring program, drive;
    DeviceLibraryWay way;
    std::wstring library, phoneLibrary;
    Asked asked;
  };
  const Case cases[] = {
      {"phone start", {L"E:\\"}, L"E:\\PX_Bootstrap.exe", L"", DeviceLibraryWay::PhoneRoot, L"E:\\QVEUSBAutorun.dll", L"",
       {L"cdrom E:\\"}},
      // Whatever the command line says: the root of a CD-ROM drive is the phone's.
      {"phone start with a drive", {L"f:\\"}, L"f:\\PX_Bootstrap.exe", L"E", DeviceLibraryWay::PhoneRoot,
       L"f:\\QVEUSBAutorun.dll", L"", {L"cdrom f:\\"}},
      // The program's own drive is a hard disk: its type needs no question; the phone's does.
      {"pc start", {L"E:\\"}, kInRelaunchE, L"E", DeviceLibraryWay::PhonesCopy, kRelaunchE + L"QVEUSBAutorun.dll",
       L"E:\\QVEUSBAutorun.dll", {L"base", L"cdrom E:\\"}},
      // Windows compares the folder's letters without regard to case.
      {"pc start, folder in other letter case", {L"E:\\"}, otherCase + L"PX_Bootstrap.exe", L"E",
       DeviceLibraryWay::PhonesCopy, otherCase + L"QVEUSBAutorun.dll", L"E:\\QVEUSBAutorun.dll", {L"base", L"cdrom E:\\"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Asked asked;
    const DeviceLibraryChoice choice = Choose(c.program, c.drive, c.cdRoms, kTemplates, asked);
    EXPECT_EQ(choice.way, c.way);
    EXPECT_EQ(choice.library, c.library);
    EXPECT_EQ(choice.phoneLibrary, c.phoneLibrary);
    EXPECT_TRUE(choice.reason.empty());
    EXPECT_EQ(asked, c.asked);
  }
}

TEST(DeviceLibrarySource, EveryOtherPlaceIsRefusedWithItsReasonAskingOnlyWhatItNeeds) {
  const std::wstring notRoot = L"the program's folder is not a drive's root", unknown = L"the program's folder is unknown";
  const std::wstring notRelaunchE = L"the program's folder is not the relaunch folder [" + kRelaunchE + L"]";
  const std::set<std::wstring> e = {L"E:\\"}, ef = {L"E:\\", L"F:\\"};
  struct Case {
    std::set<std::wstring> cdRoms;
    std::wstring base, program, drive, reason;
    Asked asked;
  };
  const Case cases[] = {
      // A phone start from a drive root that is a hard disk, a network drive or a removable disk.
      {e, kTemplates, L"D:\\PX_Bootstrap.exe", L"", L"[D:\\] is not a CD-ROM drive", {L"cdrom D:\\"}},
      // From a folder of the PC (a download folder) or a sub-folder of the phone's drive: its
      // drive's type is never asked, the folder alone refuses.
      {e, kTemplates, L"C:\\users\\u\\Downloads\\phone\\PX_Bootstrap.exe", L"", notRoot, {}},
      {e, kTemplates, L"E:\\bin\\PX_Bootstrap.exe", L"", notRoot, {}},
      {e, kTemplates, L"\\\\?\\E:\\PX_Bootstrap.exe", L"", notRoot, {}},
      {e, kTemplates, L"\\\\server\\share\\PX_Bootstrap.exe", L"", notRoot, {}},
      {e, kTemplates, L"1:\\PX_Bootstrap.exe", L"", notRoot, {}},
      {e, kTemplates, L"PX_Bootstrap.exe", L"", unknown, {}},
      {e, kTemplates, L"", L"E", unknown, {}},
      // A PC start anywhere but its relaunch folder: another phone's folder, below it, the same
      // folder by another way, a long path's prefix, a drive root.
      {ef, kTemplates, kTemplates + L"\\F\\PX_Bootstrap.exe", L"E", notRelaunchE, {L"base"}},
      {ef, kTemplates, kRelaunchE + L"bin\\PX_Bootstrap.exe", L"E", notRelaunchE, {L"base"}},
      {ef, kTemplates, kTemplates + L"\\X\\..\\E\\PX_Bootstrap.exe", L"E", notRelaunchE, {L"base"}},
      {ef, kTemplates, L"\\\\?\\" + kInRelaunchE, L"E", notRelaunchE, {L"base"}},
      {ef, kTemplates, L"D:\\PX_Bootstrap.exe", L"E", notRelaunchE, {L"cdrom D:\\", L"base"}},
      // Launched for F, the folder of E is not its relaunch folder.
      {ef, kTemplates, kInRelaunchE, L"F", L"the program's folder is not the relaunch folder [" + kTemplates + L"\\F\\]",
       {L"base"}},
      // The PC start needs its phone on a CD-ROM drive; the program's own drive is no evidence.
      {{L"C:\\", L"F:\\"}, kTemplates, kInRelaunchE, L"E", L"the launch drive [E:\\] is not a CD-ROM drive",
       {L"base", L"cdrom E:\\"}},
      {e, kTemplates, kInRelaunchE, L"1", L"the launch drive [1] is no drive letter", {}},
      {e, kTemplates, kInRelaunchE, std::wstring(1, wchar_t(0x0145)), L"the launch drive [\x0145] is no drive letter", {}},
      // Without a base folder, "\E\" would pass for the relaunch folder.
      {e, L"", L"\\E\\PX_Bootstrap.exe", L"E", L"the relaunch folder is unknown", {L"base"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program.begin(), c.program.end()) + " for [" + std::string(c.drive.begin(), c.drive.end()) + "]");
    Asked asked;
    const DeviceLibraryChoice choice = Choose(c.program, c.drive, c.cdRoms, c.base, asked);
    EXPECT_EQ(choice.way, DeviceLibraryWay::Refused);
    EXPECT_EQ(choice.reason, c.reason);
    EXPECT_TRUE(choice.phoneLibrary.empty());
    EXPECT_EQ(asked, c.asked);
  }
  // The refusal names the library it refused, for its trace line.
  Asked asked;
  EXPECT_EQ(Choose(L"D:\\PX_Bootstrap.exe", L"", e, kTemplates, asked).library, L"D:\\QVEUSBAutorun.dll");
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
