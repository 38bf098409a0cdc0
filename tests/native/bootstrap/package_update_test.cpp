// The package's download on a scripted PC: the update in a folder of its own, failures and the
// user's cancel, names that leave the folder, the usage statistics, and the maker's signature on
// every file of code.
#include "bootstrap/core/workflow.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/native/bootstrap/workflow_record.h"

namespace qv::bootstrap::testing {
namespace {

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
  EXPECT_TRUE(Holds(failed, R"(> Download http://dl.example/pxpc/pxpcconfig.ini -> C:\T\PXPC.update-1005\pxpcconfig.ini (cancellable)
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
)"));
  EXPECT_TRUE(Lacks(failed, "> Move"));
  EXPECT_EQ(pc.files, earlier);  // the new tool that did arrive never took the old one's place

  // The user's cancel: traced as such, reported as failed, no message, and the package as it was.
  pc.server[L"http://dl.example/pxpc/pxpcconfig.ini"] = kToolConfig;
  pc.cancelAtUrl = L"http://dl.example/pxpc/pxpcconfig.ini";
  EXPECT_FALSE(Run());
  const std::string cancelled = Record();
  EXPECT_TRUE(Holds(cancelled, "(cancellable)\n[DownloadPXPC_Package()] User Cancel (1)\n[DownloadPXPC_Package()] Cause: GET "
                               "http://dl.example/pxpc/pxpcconfig.ini ended: cancelled after 5 ms\n"));
  EXPECT_TRUE(Holds(cancelled, "> Report [H42] FAIL"));
  EXPECT_TRUE(Lacks(cancelled, "> Message"));
  EXPECT_EQ(pc.files, earlier);
  // Once cancelled, no further file is even asked for.
  EXPECT_FALSE(Run());
  EXPECT_TRUE(Lacks(Record(), "> Download"));

  // A file that cannot take its place fails the update.
  run.m_bUserCancel = 0;
  pc.cancelAtUrl.clear();
  pc.unmovableFiles.insert(L"C:\\T\\PXPC\\PXPC.exe");
  EXPECT_FALSE(Run());
  const std::string unmoved = Record();
  EXPECT_TRUE(Holds(unmoved, "> Move C:\\T\\PXPC.update-1015\\PXPC.exe -> C:\\T\\PXPC\\PXPC.exe\n"
                             "[DownloadPXPC_Package()] Fail of download file.....(PXPC.exe)\n"
                             "[DownloadPXPC_Package()] Cause: the downloaded file could not take its place in the "
                             "package folder\n"
                             "> RemoveFile C:\\T\\PXPC.update-1015\\PXPC.exe\n"
                             "> RemoveFile C:\\T\\PXPC.update-1015\\pxpcconfig.ini\n"));
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
  EXPECT_TRUE(DownloadPXPC_Package(pc, pc, run));
  const std::string record = Record();
  EXPECT_TRUE(Holds(record, R"(
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
)"));
  EXPECT_EQ(pc.files[L"C:\\T\\PXPC\\PXPC.exe"], L"tool");
  EXPECT_EQ(pc.files[L"C:\\T\\PXPC\\lib\\x.dll"], L"library");
  EXPECT_EQ(pc.files[L"C:\\T\\PXPC.update-1005\\PXPC.exe"], L"planted");  // not ours: left alone
  EXPECT_EQ(pc.folders.count(L"C:\\T\\PXPC.update-1011"), 0u);

  // A list that names one file twice: fetched twice, it takes its place once, and the update is whole.
  pc.files[L"C:\\T\\serverconfig.ini"] =
      L"[PXPACKAGE]\npack_version=2\n[FILES_PXPC]\nfilecount=3\nfile00=PXPC.exe\nfile01=lib\\x.dll\nfile02=PXPC.exe\n";
  pc.server[L"http://dl.example/pxpc/PXPC.exe"] = L"tool 2";
  Record();
  EXPECT_TRUE(DownloadPXPC_Package(pc, pc, run));
  const std::string twice = Record();
  EXPECT_TRUE(Lacks(twice, "Fail of download file"));
  EXPECT_EQ(pc.files[L"C:\\T\\PXPC\\PXPC.exe"], L"tool 2");

  // No fresh name to be had: nothing is fetched.
  for (int tick = 0; tick < 64; ++tick) pc.refusedFolders.insert(L"C:\\T\\PXPC.update-" + std::to_wstring(1000 + tick));
  Record();
  EXPECT_FALSE(DownloadPXPC_Package(pc, pc, run));
  const std::string refused = Record();
  EXPECT_TRUE(Holds(refused, "[FOLDER] [C:\\T\\PXPC.update-*] refused, no fresh folder can be made\n"
                             "[DownloadPXPC_Package()] Fail of download file.....(PXPC.exe)\n"));
  EXPECT_TRUE(Lacks(refused, "> Download"));
}

TEST_F(Workflow, PackageNamesThatLeaveTheFolderOrLinksInItAreNeitherDeletedNorFetched) {
  PreparePcStart(pc, run);
  for (const wchar_t* name : {L"..\\..\\Windows\\evil.dll", L"C:\\evil.exe", L"nul.msi"}) {
    pc.files[L"C:\\T\\serverconfig.ini"] =
        std::wstring(L"[FILES_PXPC]\nfilecount=1\nfile00=") + name + L"\n[PXPACKAGE]\npack_version=2\n";
    Record();
    EXPECT_FALSE(DownloadPXPC_Package(pc, pc, run));
    const std::string record = Record();
    EXPECT_TRUE(Lacks(record, "> RemoveFile"));
    EXPECT_TRUE(Holds(record, "Fail of download file.....("));
  }
  pc.files[L"C:\\T\\serverconfig.ini"] = kServerConfig;
  pc.links.insert(L"C:\\T\\PXPC\\PXPC.exe");
  EXPECT_FALSE(DownloadPXPC_Package(pc, pc, run));
  EXPECT_TRUE(Lacks(Record(), "> RemoveFile"));
  // A server driver name with a folder part is refused too, after the package itself.
  pc.links.clear();
  pc.files[L"C:\\T\\serverconfig.ini"] =
      L"[FILES_PXPC]\nfilecount=0\n[FILES_DRIVER]\ndriver_name_cbw_unison=tools\\setup.exe\n";
  run.m_bRequireDrv = 1;
  EXPECT_FALSE(DownloadPXPC_Package(pc, pc, run));
  EXPECT_TRUE(Holds(Record(), "Fail of download file.....(tools\\setup.exe)\n"));
}

TEST_F(Workflow, StatisticsThatCannotBeLoadedStopTheDownloadAndAFailedStartReportNeedsNoEnd) {
  PreparePcStart(pc, run);
  Record();
  pc.usageLibrary = LibraryCall::NotLoaded;
  EXPECT_FALSE(DownloadPXPC_Package(pc, pc, run));
  EXPECT_EQ(Record(), R"(
[DownloadPXPC_Package()] START...................
> OpenUsageReport C:\T\E\ E:\
[DownloadPXPC_Package()] LoadLibrary(QVUTchkdl.dll) failed.........
)");
  pc.usageLibrary = LibraryCall::NoExport;
  EXPECT_FALSE(DownloadPXPC_Package(pc, pc, run));
  EXPECT_TRUE(Holds(Record(), "[DownloadPXPC_Package()] Library function failed.........\n"));

  pc.usageLibrary = LibraryCall::Returned;
  pc.usageStart.result = 0;
  EXPECT_TRUE(DownloadPXPC_Package(pc, pc, run));
  const std::string record = Record();
  EXPECT_TRUE(Lacks(record, "> Report [H42]"));
  EXPECT_TRUE(Holds(record, "[DownloadPXPC_Package()] pFuncUpdateGBCSync (START) Failed.\n"
                            "[DownloadPXPC_Package()] END...(TRUE)................\n"));
  pc.usageStart = {LibraryCall::Threw, 0, ""};
  EXPECT_FALSE(DownloadPXPC_Package(pc, pc, run));
  EXPECT_TRUE(Holds(Record(), "> Report [] START\n[DownloadPXPC_Package()] pFuncUpdateGBCSync(1) Failed. (try...catch)\n"));
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
  for (const std::string name : {"helper.dll", "plugin.dat"}) {
    SCOPED_TRACE(name);
    pc = ScriptedPc();
    run.m_provenPackageFiles.clear();
    SetUp();
    const std::string path = kStaged + name;
    pc.unsignedFiles.insert(std::wstring(path.begin(), path.end()));
    PreparePcStart(pc, run);
    Record();
    EXPECT_FALSE(Run());
    const std::string record = Record();
    const std::string refusal = "\n> Hold " + path + "\n[SIGNATURE] [" + path + "] refused\n> Release " + path +
                                "\n> RemoveFile " + path + "\n[DownloadPXPC_Package()] Fail of download file.....(" + name + ")\n";
    EXPECT_TRUE(Holds(record, refusal));
    EXPECT_TRUE(Holds(record, "> Report [H42] FAIL"));
    EXPECT_TRUE(Holds(record, "> Message RO Zeru Zav download is failed."));
    EXPECT_TRUE(Lacks(record, "> Start"));
    EXPECT_TRUE(Lacks(record, "readme.txt"));  // the download stopped there
    EXPECT_EQ(pc.files.count(std::wstring(path.begin(), path.end())), 0u);
    // Nothing of the update took the package's place, and its folder is gone.
    EXPECT_TRUE(Lacks(record, "> Move"));
    EXPECT_TRUE(Holds(record, kUpdateFolderGone));
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
    EXPECT_TRUE(Holds(record, Proven(name))) << name;
  }
  EXPECT_LT(record.find(Proven("plugin.dat")), record.find("> Start"));

  // Another program put an unsigned library in its place: the tool is not started beside it.
  run.m_provenPackageFiles.clear();
  pc.unsignedFiles.insert(L"C:\\T\\PXPC\\helper.dll");
  Record();
  EXPECT_FALSE(StartPcTool(pc, run, L"Model X"));
  const std::string refused = Record();
  EXPECT_TRUE(Holds(refused, "[SIGNATURE] [C:\\T\\PXPC\\helper.dll] refused\n"));
  EXPECT_TRUE(Lacks(refused, "> Start"));
  EXPECT_TRUE(Holds(refused, "[RunPXPC()] END - Failed to run PXPC.............\n"));

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
  EXPECT_TRUE(Lacks(linked, "tools\\helper.dll"));
  EXPECT_TRUE(Lacks(linked, "> Start"));
  pc.links.clear();

  // Without the signature asked for, nothing of the package beside the tool is held or proven.
  pc.signatureRequired = false;
  EXPECT_TRUE(StartPcTool(pc, run, L"Model X"));
  const std::string unsignedRun = Record();
  EXPECT_TRUE(Lacks(unsignedRun, "helper.dll"));
  EXPECT_TRUE(Lacks(unsignedRun, "[SIGNATURE]"));
}

}  // namespace
}  // namespace qv::bootstrap::testing
