// The phone start's copy of the installation package into the PC folder named after the phone's
// drive letter, and the relaunch of that copy with "-l" and the letter, on the workflow's PC.
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/workflow.h"
#include "bootstrap/provisioning/own_program.h"
#include "bootstrap/provisioning/windows_pc.h"
#include "bootstrap/view/init_dlg.h"

namespace {

// The copy shows only its failures, over the hidden dialog that waits for it.
class CCopyView final : public qv::bootstrap::RunView {
 public:
  explicit CCopyView(const CInitDlg& owner) : m_owner(owner) {}
  void SetProgressDisplay(qv::bootstrap::ProgressDisplay, bool) override {}
  void RaiseProgress(int) override {}
  void BringToFront() override {}
  void ShowMessage(const std::wstring& text) override {
    ::MessageBoxW(m_owner.GetSafeHwnd(), text.c_str(), m_owner.m_strCaption.c_str(), MB_ICONEXCLAMATION | MB_OK);
  }

 private:
  const CInitDlg& m_owner;
};

}  // namespace

int CopyInstallPackage(CInitDlg& caller) {
  // The phone's root, where the program runs from on a phone start, and the program's own name.
  const qv::bootstrap::ProgramPath program = qv::bootstrap::SplitProgramPath(OwnProgramPath());
  const qv::SignaturePolicy nothingStarted;  // the copy starts no tool and installs nothing
  CWindowsPc pc(nullptr, nothingStarted);
  CCopyView view(caller);
  return qv::bootstrap::CopyPackageToPc(pc, view, program.folder, program.name);
}
