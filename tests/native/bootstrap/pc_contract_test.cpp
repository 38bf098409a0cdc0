// The PC contract on the scripted PC that the workflow's tests run on.
#include "tests/native/bootstrap/pc_contract.h"

#include <utility>

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

TEST(ScriptedPcContract, KeepsWhatTheWorkflowReliesOnOfEveryPc) {
  const std::pair<const char*, void (*)(PcContractPlace&)> contracts[] = {
      {"a held folder stays while files come and go in it", ExpectTheHeldFolderContract},
      {"a failed file call tells the system's error", ExpectTheFileResultContract},
      {"a start reports what happened", ExpectTheStartContract},
      {"a held file refuses every change and counts as a copy of its own bytes", ExpectTheHeldFileContract},
      {"a file with a second name is a link", ExpectTheLinkContract}};
  for (const auto& [name, expect] : contracts) {
    SCOPED_TRACE(name);
    ScriptedPlace place;
    expect(place);
  }
}

}  // namespace
}  // namespace qv::bootstrap::testing
