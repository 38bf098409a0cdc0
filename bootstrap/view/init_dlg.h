// The hidden dialog of a phone start: keeps a message loop alive while its worker copies the
// package and starts the copy, then ends with the copy's result.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "common/win/ui/dialog.h"
#include "common/win/ui/worker_thread.h"

class CInitDlg : public qv::ui::CKeepOpenDialog {
 public:
  explicit CInitDlg(HWND parent);
  void SetCaption(const std::wstring& caption);

  BOOL m_bNoErase = 0;
  std::atomic<int> m_nCopyResult{0};
  std::atomic<qv::ui::CWorkerThread*> m_pCopyThread{nullptr};
  std::atomic<BOOL> m_bFinished{0};
  std::wstring m_strCaption;

 protected:
  BOOL OnInitDialog() override;

  QV_BEGIN_MSG_MAP()
    QV_MESSAGE(WM_TIMER, OnTimer)
    QV_MESSAGE(WM_ERASEBKGND, OnEraseBackground)
    QV_MESSAGE(WM_CLOSE, OnClose)
  QV_END_MSG_MAP()

 private:
  INT_PTR OnTimer(WPARAM, LPARAM);
  INT_PTR OnEraseBackground(WPARAM, LPARAM);
  INT_PTR OnClose(WPARAM, LPARAM) { return 0; }

  std::unique_ptr<qv::ui::CWorkerThread> m_copyThreadOwner;
};

// Copies the package listed in config.ini and starts the copy: 1 when started, 0 otherwise.
int CopyInstallPackage(CInitDlg& caller);
