// The PC contract on the scripted PC that the workflow's tests run on.
#include "tests/native/bootstrap/pc_contract.h"

#include "tests/native/bootstrap/scripted_pc.h"

namespace qv::bootstrap::testing {
namespace {

class ScriptedPlace : public PcContractPlace {
 public:
  ScriptedPlace() { pc.folders.insert(Root()); }
  PcSystem& Pc() override { return pc; }
  std::wstring Root() override { return L"C:\\Users\\ann\\work"; }
  void MakeFolder(const std::wstring& path) override { pc.folders.insert(path); }
  void MakeFile(const std::wstring& path, const std::string& text) override {
    pc.files[path] = std::wstring(text.begin(), text.end());
  }
  std::wstring Program() override {
    pc.files[Root() + L"\\tool.exe"] = L"MZ";
    return Root() + L"\\tool.exe";
  }
  std::wstring ProgramArguments() override { return std::wstring(); }

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

}  // namespace
}  // namespace qv::bootstrap::testing
