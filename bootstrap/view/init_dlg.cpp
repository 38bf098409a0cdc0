// CInitDlg: hidden, uncloseable, polls its copy worker every 100 ms.
#include "bootstrap/view/init_dlg.h"

#include "bootstrap/view/control_ids.h"
#include "common/core/unique_resource.h"

namespace {
constexpr UINT_PTR kCopyPollTimer = 100;
}

CInitDlg::CInitDlg(HWND parent) : CKeepOpenDialog(kInitDialogTemplate, parent) {}

void CInitDlg::SetCaption(const std::wstring& caption) { m_strCaption = caption; }

BOOL CInitDlg::OnInitDialog() {
  KeepHidden();
  SetWindowPos(HWND_BOTTOM, 0, 0, 0, 0, SWP_HIDEWINDOW);
  m_bNoErase = 1;
  SetTimer(kCopyPollTimer, 100);
  m_copyThreadOwner = qv::ui::CWorkerThread::Create([this] {
    // Hand-over on every way out: the result (0 unless the copy returned one), then the cleared
    // pointer, which the poll timer waits for.
    auto handOver = qv::MakeScopeExit([this] { m_pCopyThread = nullptr; });
    m_nCopyResult = CopyInstallPackage(*this);
  });
  if (m_copyThreadOwner) {
    m_pCopyThread = m_copyThreadOwner.get();
    m_copyThreadOwner->Resume();
  }
  return TRUE;
}

INT_PTR CInitDlg::OnTimer(WPARAM wParam, LPARAM) {
  if (wParam == kCopyPollTimer && m_pCopyThread == nullptr) {
    KillTimer(kCopyPollTimer);
    m_bFinished = 1;
    EndDialog(m_nCopyResult == 1 ? 1 : 0);
  }
  return 0;
}

INT_PTR CInitDlg::OnEraseBackground(WPARAM, LPARAM) { return m_bNoErase == 1 ? 1 : 0; }
