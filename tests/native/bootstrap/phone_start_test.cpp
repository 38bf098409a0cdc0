// The phone start's copy on a scripted PC: the listed files copied into held folders, each proven
// the phone's, and the relaunch of the copy with the drive letter.
#include "bootstrap/core/workflow.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/bootstrap/workflow_record.h"

namespace qv::bootstrap::testing {
namespace {

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

TEST_F(PhoneStartCopy, CopiesTheListedFilesIntoHeldFoldersAndRelaunchesTheCopyWithTheDriveLetter) {
  EXPECT_EQ(Copy(), 1);
  // The copy into held folders, then the relaunch: its files held and proven the phone's, the
  // program started as itself, and every hold kept until the copy waits for its user.
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
CopyFile  - All Done time:[55]
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
)");
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
  EXPECT_TRUE(Holds(record, "ShellExecute[C:\\PX_Bootstrap.exe\\T\\E\\PX_Bootstrap.exe][-l E][C:\\PX_Bootstrap.exe\\T\\E]\n"));
  EXPECT_TRUE(Holds(record, "> Start C:\\PX_Bootstrap.exe\\T\\E\\PX_Bootstrap.exe [-l E]"));
}

TEST_F(PhoneStartCopy, NothingBesideTheCopyRedirectsItsLibraries) {
  // A redirection file is removed before the start.
  pc.folders.insert(L"C:\\T\\E");
  pc.files[L"C:\\T\\E\\PX_Bootstrap.exe.local"] = L"";
  EXPECT_EQ(Copy(), 1);
  const std::string removed = Rendered(pc.events);
  EXPECT_TRUE(Holds(removed, "ShellExecute[C:\\T\\E\\PX_Bootstrap.exe][-l E][C:\\T\\E]\n> RemoveFile C:\\T\\E\\PX_Bootstrap.exe.local\n"
                             "> Hold C:\\T\\E\\PX_Bootstrap.exe\n"));
  EXPECT_EQ(pc.files.count(L"C:\\T\\E\\PX_Bootstrap.exe.local"), 0u);

  // A folder (or a link) under that name is not removed, and nothing is started.
  for (bool link : {false, true}) {
    pc = ScriptedPc();
    SetUp();
    (link ? pc.links : pc.folders).insert(L"C:\\T\\E\\PX_Bootstrap.exe.local");
    EXPECT_EQ(Copy(), 0);
    const std::string refused = Rendered(pc.events);
    EXPECT_TRUE(Holds(refused, "> RemoveFile C:\\T\\E\\PX_Bootstrap.exe.local\n"
                               "Relaunch refused: [C:\\T\\E\\PX_Bootstrap.exe.local] would redirect the program's libraries\n"
                               "> ReleaseFolder C:\\T\\E\\tools\n"));
    EXPECT_TRUE(Lacks(refused, "> Start"));
    EXPECT_TRUE(Lacks(refused, "> Message"));
  }
}

TEST_F(PhoneStartCopy, AStartThatFailedIsNoRelaunch) {
  pc.programStarts = false;
  EXPECT_EQ(Copy(), 0);
  const std::string record = Rendered(pc.events);
  EXPECT_TRUE(Holds(record, "> Start C:\\T\\E\\PX_Bootstrap.exe [-l E] in C:\\T\\E\n"
                            "Relaunch failed: [C:\\T\\E\\PX_Bootstrap.exe] did not start (740)\n"
                            "[CopyInstallPackage()] Cause: system error 740\n"
                            "> Release C:\\T\\E\\PX_Bootstrap.exe\n"));
  EXPECT_TRUE(Lacks(record, "> WaitUntilIdle"));
  EXPECT_TRUE(Lacks(record, "> Message"));
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
    EXPECT_TRUE(Holds(record, c.shown + "\n"));
    EXPECT_TRUE(Lacks(record, "> Start"));
  }
  // A package without the program has nothing to start.
  pc = ScriptedPc();
  SetUp();
  config[L"filecount"] = L"1";
  EXPECT_EQ(Copy(), 0);
  const std::string record = Rendered(pc.events);
  EXPECT_TRUE(Holds(record, "ShellExecute[][-l E][]\nNot Launch\n"));
  EXPECT_TRUE(Lacks(record, "> Start"));
}

}  // namespace
}  // namespace qv::bootstrap::testing
