// The PC contract on the scripted PC that the workflow's tests run on.
#include "tests/native/bootstrap/pc_contract.h"

#include "tests/native/bootstrap/scripted_pc.h"

namespace qv::bootstrap::testing {
namespace {

class ScriptedPlace : public PcContractPlace {
 public:
  ScriptedPlace() {
    pc.folders.insert(Root());
    pc.exitCode = 7;
  }
  PcSystem& Pc() override { return pc; }
  std::wstring Root() override { return L"C:\\Users\\ann\\work"; }
  void MakeFolder(const std::wstring& path) override { pc.folders.insert(path); }
  void MakeFile(const std::wstring& path, const std::string& text) override {
    pc.files[path] = std::wstring(text.begin(), text.end());
  }
  bool WriteAsAnother(const std::wstring& path, const std::string& text) override {
    if (pc.heldFiles.count(path)) return false;
    MakeFile(path, text);
    return true;
  }
  // Both names of a file with two are links.
  void MakeSecondName(const std::wstring& path, const std::wstring& secondName) override {
    pc.files[secondName] = pc.files[path];
    pc.links.insert(path);
    pc.links.insert(secondName);
  }
  std::wstring Program() override {
    pc.files[Root() + L"\\tool.exe"] = L"MZ";
    return Root() + L"\\tool.exe";
  }
  std::wstring ProgramArguments() override { return std::wstring(); }
  uint32_t ProgramExitCode() override { return 7; }

  ScriptedPc pc;
};

TEST(ScriptedPcContract, AHeldFolderStaysWhileFilesComeAndGoInIt) {
  ScriptedPlace place;
  ExpectTheHeldFolderContract(place);
}

TEST(ScriptedPcContract, AFailedFileCallTellsTheSystemsError) {
  ScriptedPlace place;
  ExpectTheFileResultContract(place);
}

TEST(ScriptedPcContract, AStartReportsWhatHappened) {
  ScriptedPlace place;
  ExpectTheStartContract(place);
}

TEST(ScriptedPcContract, AHeldFileRefusesEveryChangeAndCountsAsACopyOfItsOwnBytes) {
  ScriptedPlace place;
  ExpectTheHeldFileContract(place);
}

TEST(ScriptedPcContract, AFileWithASecondNameIsALink) {
  ScriptedPlace place;
  ExpectTheLinkContract(place);
}

}  // namespace
}  // namespace qv::bootstrap::testing
