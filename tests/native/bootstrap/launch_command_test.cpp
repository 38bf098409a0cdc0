// Start-up texts: the command line of both starts, the relaunch and PC tool arguments, the
// package list keys, and which configured file names may be used.
#include "bootstrap/core/launch_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/path_text.h"
#include "common/core/command_line.h"

namespace qv::bootstrap {
namespace {

using qv::SkipProgramName;

TEST(LaunchCommand, ArgumentsFollowTheProgramNameQuotedOrNot) {
  EXPECT_STREQ(SkipProgramName(LR"("C:\Program Files\PX_Bootstrap.exe" -l E)"), L"-l E");
  EXPECT_STREQ(SkipProgramName(L"PX_Bootstrap.exe \t -l E "), L"-l E ");
  EXPECT_STREQ(SkipProgramName(LR"(C:\a" b"\PX_Bootstrap.exe -l)"), L"-l");  // a quote inside the name
  EXPECT_STREQ(SkipProgramName(L"PX_Bootstrap.exe"), L"");
  EXPECT_STREQ(SkipProgramName(LR"("unterminated -l E)"), L"");
  EXPECT_STREQ(SkipProgramName(nullptr), L"");
}

TEST(LaunchCommand, TellsPhoneStartFromPcStartAndFindsTheDrive) {
  EXPECT_TRUE(ParseLaunchCommand(L"").cmdLine.empty());
  EXPECT_FALSE(ParseLaunchCommand(L"").invalid);
  const LaunchCommand pc = ParseLaunchCommand(L"-l E");
  EXPECT_EQ(pc.cmdLine, L"-l E");
  EXPECT_EQ(pc.launchDrive, L"E");
  EXPECT_FALSE(pc.invalid);
  // The letter stands at a fixed column, wherever the switch was found.
  EXPECT_EQ(ParseLaunchCommand(L"x -l e").launchDrive, L"l");
  EXPECT_EQ(ParseLaunchCommand(L"-lEF").launchDrive, L"F");
  for (const wchar_t* args : {L"-l", L"-l ", L"-lE"}) {
    EXPECT_TRUE(ParseLaunchCommand(args).invalid) << args;
    EXPECT_TRUE(ParseLaunchCommand(args).launchDrive.empty()) << args;
  }
}

TEST(LaunchCommand, DriveLetterIsNarrowedOnlyFromAscii) {
  EXPECT_EQ(DriveLetterOf(L"E:\\pkg\\"), 'E');
  EXPECT_EQ(DriveLetterOf(L""), '\0');
  EXPECT_EQ(DriveLetterOf(std::wstring(1, wchar_t(0x0145))), '\0');  // would cut down to 'E'
}

TEST(LaunchCommand, RelaunchAndPcToolArguments) {
  EXPECT_EQ(FormatRelaunchArguments(L'E'), L"-l E");
  EXPECT_EQ(FormatPackageFolder(L"C:\\Templates", L'E'), L"C:\\Templates\\E\\");
  EXPECT_EQ(FolderOfPath(L"C:\\T\\E\\PX_Bootstrap.exe"), L"C:\\T\\E");
  EXPECT_EQ(FolderOfPath(L"PX_Bootstrap.exe"), L"");
  EXPECT_EQ(FormatPxpcArguments(L"E", L"g", L"QV Phone 7"), L"-pxpc;E;G;QV Phone 7;");
  EXPECT_EQ(FormatPxpcArguments(L"E:\\x\\", L"", L"M"), L"-pxpc;E;;M;");
}

TEST(LaunchCommand, TheProgramIsTheEntryWhoseOwnFileNameIsTheProgramsNotOneWhosePathHoldsIt) {
  EXPECT_TRUE(IsProgramEntry(L"PX_Bootstrap.exe", L"PX_Bootstrap.exe"));
  EXPECT_TRUE(IsProgramEntry(L"px_BOOTSTRAP.EXE", L"PX_Bootstrap.exe"));  // Windows names, letter case aside
  EXPECT_TRUE(IsProgramEntry(L"bin\\PX_Bootstrap.exe", L"PX_Bootstrap.exe"));
  EXPECT_TRUE(IsProgramEntry(L"bin/PX_Bootstrap.exe", L"PX_Bootstrap.exe"));
  // A folder of the entry that holds the name, or a name that merely contains it, is another file.
  EXPECT_FALSE(IsProgramEntry(L"PX_Bootstrap.exe\\License.txt", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsProgramEntry(L"PX_Bootstrap.exe.local", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsProgramEntry(L"old_PX_Bootstrap.exe", L"PX_Bootstrap.exe"));
  EXPECT_FALSE(IsProgramEntry(L"config.ini", L""));
  EXPECT_FALSE(IsProgramEntry(L"", L""));
  EXPECT_EQ(LibraryRedirectionOf(L"C:\\T\\E\\PX_Bootstrap.exe"), L"C:\\T\\E\\PX_Bootstrap.exe.local");
}

TEST(LaunchCommand, TheRelaunchNeedsTheProgramAndItsLibrariesFromItsOwnFolder) {
  auto names = [](const std::vector<RelaunchFile>& files) {
    std::vector<std::wstring> out;
    for (const RelaunchFile& file : files) {
      out.push_back(file.name + (file.check == RelaunchCheck::Required ? L" required" : L""));
    }
    return out;
  };
  EXPECT_EQ(names(RelaunchFiles(L"PX_Bootstrap.exe")),
            (std::vector<std::wstring>{L"PX_Bootstrap.exe required", L"QVEUSBAutorun.dll required", L"QVUTchkdl.dll",
                                       L"config.ini required"}));
  EXPECT_EQ(names(RelaunchFiles(L"bin\\x/PX_Bootstrap.exe")),
            (std::vector<std::wstring>{L"bin\\x/PX_Bootstrap.exe required", L"bin\\x/QVEUSBAutorun.dll required",
                                       L"bin\\x/QVUTchkdl.dll", L"bin\\x/config.ini required"}));
}

TEST(ConfigLists, CountsKeysAndFlags) {
  EXPECT_EQ(FileListCount(L"3abc"), 3);
  EXPECT_EQ(FileListCount(L"abc"), 0);
  EXPECT_EQ(FileListCount(L"-4"), 0);
  EXPECT_EQ(FileListKey(7), L"file07");
  EXPECT_EQ(FileListKey(100), L"file100");
  EXPECT_TRUE(IsFlagTrue(L"true"));
  EXPECT_FALSE(IsFlagTrue(L"TRUE "));
}

TEST(ConfigLists, PackageFileNamesMustStayInTheirFolder) {
  for (const wchar_t* ok : {L"PX_Bootstrap.exe", L"tools\\setup.msi", L"a/b.dll", L"x..y"}) {
    EXPECT_TRUE(IsSafePackageFileName(ok)) << ok;
  }
  for (const wchar_t* bad :
       {L"", L"..\\x", L"tools\\..\\..\\x", L"a/../b", L"tools\\..", L"\\Windows\\x", L"/etc/x",
        L"\\\\srv\\share\\x", L"C:\\x", L"C:x", L"x:stream", L"a\\... \\b", L".. \\x"}) {
    EXPECT_FALSE(IsSafePackageFileName(bad)) << bad;
  }
}

TEST(ConfigLists, SpellingsOfOneFileShareOneKey) {
  for (const wchar_t* same : {L"Tools/Setup.MSI", L"tools\\setup.msi. ", L"TOOLS.\\.\\setup.msi", L"tools//setup.msi..."}) {
    EXPECT_EQ(SameFileKey(same), L"TOOLS\\SETUP.MSI") << same;
  }
  // A folder part keeps its blanks and all but one final dot; other letters keep their case.
  for (const wchar_t* other : {L"tools \\setup.msi", L"tools..\\setup.msi", L"tools\\setup.msi.x", L"t\u00F6ols\\setup.msi"}) {
    EXPECT_NE(SameFileKey(other), L"TOOLS\\SETUP.MSI") << other;
  }
}

TEST(ConfigLists, PackageFileNamesNeverNameADevice) {
  // Windows opens these as devices in any part of a path, whatever follows the first dot and
  // with the blanks before it dropped.
  for (const wchar_t* device :
       {L"CON", L"prn", L"Aux", L"nul.msi", L"NUL.tar.gz", L"com1", L"COM9.exe", L"lpt1", L"Lpt9.dll", L"CONIN$",
        L"conout$.txt", L"nul.", L"nul. ", L"nul .msi", L"con ", L"tools\\aux", L"aux\\setup.msi", L"a/lpt3/b",
        L"COM\u00B9", L"com\u00B2.msi", L"Com\u00B3", L"LPT\u00B9.txt", L"lpt\u00B2", L"tools\\LPT\u00B3 .dll"}) {
    EXPECT_FALSE(IsSafePackageFileName(device)) << device;
  }
  for (const wchar_t* ok : {L"console.exe", L"nul_driver.msi", L"com10", L"com0", L"lpt", L"comx", L"conin",
                            L"com\u00B9\u00B9", L"lpt\u2074", L"com\u00B9x.msi",
                            L"x.nul", L"tools\\con1\\x", L" con", L"auxiliary\\nullable.dll"}) {
    EXPECT_TRUE(IsSafePackageFileName(ok)) << ok;
  }
}

}  // namespace
}  // namespace qv::bootstrap
