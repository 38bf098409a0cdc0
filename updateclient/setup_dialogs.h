// The library's two dialogs of an agent installation: the question whether to download the
// software, and the download with its progress bar, which unpacks a cabinet when it is complete.
// Both come from the library's own resources, on a white background with a bold heading, and can
// show a set of alternative texts.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "common/core/download_loop.h"
#include "common/core/signature_policy.h"
#include "common/win/handles.h"
#include "common/win/ui/dialog.h"
#include "common/win/ui/worker_thread.h"
#include "updateclient/res/resource.h"

namespace qv::updateclient {

// The look both dialogs share: the system's window colours (white and black normally), a bold
// Arial heading, the pictures at the top, the alternative caption; laid out again for the DPI of
// the monitor the dialog is on.
class CSetupDialog : public qv::ui::CDialogBase {
 public:
  std::string m_strTitle;       // the alternative caption; empty: the default alternative one
  int m_nAlternativeText = 0;   // 1: show the alternative texts

 protected:
  explicit CSetupDialog(UINT templateId);
  // Caption and heading for the alternative texts.
  void ApplyAlternativeCaption();
  // The heading's font, as large as its nominal size at this DPI allows on one line of its
  // control, and the pictures drawn for the DPI.
  void FitToDpi(unsigned dpi);
  INT_PTR OnCtlColor(WPARAM hdc, LPARAM control);
  void OnDpiChanged(WPARAM dpi, LPARAM);
  INT_PTR OnFitToDpi(WPARAM dpi, LPARAM);
  INT_PTR OnSysColorChange(WPARAM, LPARAM);
  bool ButtonReads(const wchar_t* text) const;

  // Comes after the dialog manager has scaled the dialog to a new DPI.
  static constexpr UINT kFitToDpi = WM_APP + 2;
  qv::UniqueGdiObject m_brBackground;
  qv::UniqueGdiObject m_fontHeading;
  qv::UniqueGdiObject m_pictures[2];  // left, right
};

#define QV_SETUP_DIALOG_LOOK()                              \
  QV_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColor)                 \
  QV_MESSAGE(WM_CTLCOLORDLG, OnCtlColor)                    \
  QV_MESSAGE_THEN_DEFAULT(WM_DPICHANGED, OnDpiChanged)      \
  QV_MESSAGE(kFitToDpi, OnFitToDpi)                         \
  QV_MESSAGE(WM_SYSCOLORCHANGE, OnSysColorChange)

class CSetupConfirmDlg : public CSetupDialog {
 public:
  CSetupConfirmDlg() : CSetupDialog(IDD_SETUP_CONFIRM) {}

 protected:
  BOOL OnInitDialog() override;
  void OnInstallNow() { EndDialog(IDOK); }
  void OnCancelOrClose();

  QV_BEGIN_MSG_MAP()
    QV_SETUP_DIALOG_LOOK()
    QV_BUTTON_CLICKED(IDC_SETUP_INSTALL_NOW, OnInstallNow)
    QV_BUTTON_CLICKED(IDC_SETUP_CANCEL_CLOSE, OnCancelOrClose)
  QV_END_MSG_MAP()
};

// The download dialog shows the transfer on its progress bar: it observes the download its
// worker runs.
class CSetupProgressDlg : public CSetupDialog, public qv::DownloadObserver {
 public:
  CSetupProgressDlg() : CSetupDialog(IDD_SETUP_PROGRESS) {}
  ~CSetupProgressDlg() override;

  std::string m_strFilePath;      // the package's place in the agent folder, which names it
  std::string m_strTargetFolder;  // the agent folder, where the package is put in place
  std::string m_strUrl;           // what is downloaded
  qv::SignaturePolicy m_signaturePolicy;  // what the package and its programs must be signed by
  std::atomic<int> m_nBusy{0};
  std::atomic<int> m_nCancelRequested{0};
  // Set once the whole package arrived and every file of it is in place; a dialog that ends with
  // OK without it has seen a failed installation.
  std::atomic<bool> m_bInstalled{false};

  // From the worker: the bar's range and position, sent to the bar (which the dialog's thread
  // owns) while the dialog exists.
  void OnSizeKnown(uint64_t totalBytes) override;
  void OnProgress(uint64_t writtenBytes) override;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override {}  // Return never ends the download; only the Close button does
  void OnCancel() override;
  void OnCancelOrClose();
  INT_PTR OnWorkerEnded(WPARAM, LPARAM);

  QV_BEGIN_MSG_MAP()
    QV_SETUP_DIALOG_LOOK()
    QV_MESSAGE(kWorkerEnded, OnWorkerEnded)
    QV_BUTTON_CLICKED(IDC_SETUP_CANCEL_CLOSE, OnCancelOrClose)
  QV_END_MSG_MAP()

 private:
  static constexpr UINT kWorkerEnded = WM_APP + 1;
  void RunWorker(const qv::ui::CWindow& dialog);
  void ShowCancelRequested();

  std::unique_ptr<qv::ui::CWorkerThread> m_pWorker;
  HWND m_hProgressBar = nullptr;  // taken before the worker starts
  std::atomic<bool> m_bWorkerRunning{false};
  bool m_bEndWhenWorkerEnds = false;
};

}  // namespace qv::updateclient
