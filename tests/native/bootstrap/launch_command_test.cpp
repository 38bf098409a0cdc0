// Start-up texts: the command line of both starts, the relaunch's files, and which
// configured file names may be used and which spellings name one file.
#include "bootstrap/core/launch_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bootstrap/core/path_text.h"
#include "common/core/command_line.h"

namespace qv::bootstrap {
namespace {

using qv::SkipProgramName;

// The rules behind these texts are checked by the command lines' fuzz target.
TEST(LaunchCommand, ArgumentsFollowTheProgramNameQuotedOrNot) {
  EXPECT_STREQ(SkipProgramName(LR"(C:\a" b"\PX_Bootstrap.exe -l)"), L"-l");  // a quote inside the name
  EXPECT_STREQ(SkipProgramName(L"PX_Bootstrap.exe"), L"");
  EXPECT_STREQ(SkipProgramName(LR"("unterminated -l E)"), L"");
}

TEST(LaunchCommand, APcStartWithoutADriveLetterIsRefused) {
  const LaunchCommand pc = ParseLaunchCommand(L"-l E");
  EXPECT_EQ(pc.launchDrive, L"E");
  EXPECT_FALSE(pc.invalid);
  for (const wchar_t* args : {L"-l", L"-l ", L"-lE"}) {
    EXPECT_TRUE(ParseLaunchCommand(args).invalid) << args;
    EXPECT_TRUE(ParseLaunchCommand(args).launchDrive.empty()) << args;
  }
}

TEST(LaunchCommand, TheRelaunchNeedsTheProgramAndItsLibrariesFromItsOwnFolder) {
  std::vector<std::wstring> names;
  for (const RelaunchFile& file : RelaunchFiles(L"PX_Bootstrap.exe")) {
    names.push_back(file.name + (file.check == RelaunchCheck::Required ? L" required" : L""));
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"PX_Bootstrap.exe required", L"QVEUSBAutorun.dll required", L"QVUTchkdl.dll",
                                              L"config.ini required"}));
}

// One case of each way out of the folder, and names that must still pass; the rule itself (for
// the library and the cabinets too) is checked by the contained names' fuzz target.
TEST(ConfigLists, PackageFileNamesMustStayInTheirFolderAndNeverNameADevice) {
  for (const wchar_t* ok : {L"tools\\setup.msi", L"a/b.dll", L"x..y", L"console.exe", L"nul_driver.msi", L"com10",
                            L"lpt", L"com\u00B9\u00B9", L"lpt\u2074", L"x.nul", L"tools\\con1\\x", L" con",
                            L"auxiliary\\nullable.dll"}) {
    EXPECT_TRUE(IsSafePackageFileName(ok)) << ok;
  }
  for (const wchar_t* bad : {L"", L"..\\x", L"a/../b", L"tools\\..", L"a\\... \\b", L"\\Windows\\x",
                             L"\\\\srv\\share\\x", L"C:x", L"x:stream", L"nul.tar.gz", L"nul .msi", L"aux\\setup.msi",
                             L"tools\\LPT\u00B3 .dll", L"CONIN$"}) {
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

}  // namespace
}  // namespace qv::bootstrap
