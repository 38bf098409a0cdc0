// The setup dialogs' look, buttons and the download worker of the progress dialog.
#include "updateclient/setup_dialogs.h"

#include <commctrl.h>

#include "common/core/unique_resource.h"
#include "common/win/ansi_text.h"
#include "updateclient/core/agent_rules.h"
#include "updateclient/library_module.h"
#include "updateclient/win/agent_files.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

namespace {

const wchar_t kReminder[] = L"You will be reminded the next time you connect your phone to\nyour PC.";
const wchar_t kAlternativeCaption[] = L"Corbel Wireless Utility Application - QV";
const wchar_t kAlternativeBody[] =
    L"Software is available that will help your QV phone to \ncommunicate with your PC. Download now?";

}  // namespace

CSetupDialog::CSetupDialog(UINT templateId)
    : CDialogBase(templateId, nullptr, LibraryModule()),
      m_brWhite(::CreateSolidBrush(RGB(255, 255, 255))),
      m_fontHeading(::CreateFontW(18, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial")) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
}

void CSetupDialog::ApplyAlternativeCaption() {
  SetWindowText(m_strTitle.empty() ? std::wstring(kAlternativeCaption)
                                   : qv::FromAnsi(m_strTitle.data(), m_strTitle.size()));
  SetDlgItemText(IDC_SETUP_HEADING, L"");
}

INT_PTR CSetupDialog::OnCtlColor(WPARAM hdc, LPARAM control) {
  HDC dc = reinterpret_cast<HDC>(hdc);
  HWND hWnd = reinterpret_cast<HWND>(control);
  if (hWnd == m_hWnd) {
    ::SetBkColor(dc, RGB(255, 255, 255));
  } else {
    if (::GetDlgCtrlID(hWnd) == IDC_SETUP_HEADING) {
      ::SelectObject(dc, m_fontHeading.get());
      ::SetTextColor(dc, RGB(0, 0, 0));
    }
    ::SetBkMode(dc, TRANSPARENT);
  }
  return reinterpret_cast<INT_PTR>(m_brWhite.get());
}

bool CSetupDialog::ButtonReads(const wchar_t* text) const {
  return GetDlgItem(IDC_SETUP_CANCEL_CLOSE).GetWindowText() == text;
}

BOOL CSetupConfirmDlg::OnInitDialog() {
  GetDlgItem(IDC_SETUP_HEADING).SetFont(static_cast<HFONT>(m_fontHeading.get()));
  if (m_nAlternativeText == 1) {
    ApplyAlternativeCaption();
    SetDlgItemText(IDC_SETUP_BODY, kAlternativeBody);
  }
  return TRUE;
}

void CSetupConfirmDlg::OnCancelOrClose() {
  if (!ButtonReads(L"Cancel")) {
    EndDialog(IDCANCEL);
    return;
  }
  SetDlgItemText(IDC_SETUP_CANCEL_CLOSE, L"Close");
  GetDlgItem(IDC_SETUP_INSTALL_NOW).ShowWindow(SW_HIDE);
  SetDlgItemText(IDC_SETUP_BODY, kReminder);
}

CSetupProgressDlg::~CSetupProgressDlg() {
  // The worker reads this dialog's fields until it ends. A dialog that ended normally has a
  // worker at its last lines; one whose loop was cut short asks it to stop first.
  if (m_pWorker) {
    m_nCancelRequested = 1;
    m_pWorker->JoinPumpingSentMessages();
  }
}

BOOL CSetupProgressDlg::OnInitDialog() {
  GetDlgItem(IDC_SETUP_HEADING).SetFont(static_cast<HFONT>(m_fontHeading.get()));
  m_nCancelRequested = 0;
  m_nBusy = 0;
  if (m_nAlternativeText == 1) ApplyAlternativeCaption();
  m_bWorkerRunning = true;
  // The worker gets the window handle by value: the dialog clears its own when it is destroyed.
  m_pWorker = qv::ui::CWorkerThread::Create([this, dialog = qv::ui::CWindow(m_hWnd)] { RunWorker(dialog); });
  if (m_pWorker) {
    m_pWorker->Resume();
  } else {
    m_bWorkerRunning = false;
  }
  return TRUE;
}

void CSetupProgressDlg::RunWorker(const qv::ui::CWindow& dialog) {
  auto ended = qv::MakeScopeExit([this, &dialog] {
    m_bWorkerRunning = false;
    dialog.PostMessage(kWorkerEnded);
  });
  // The package arrives in a new file of its own beside the agent's files, which it replaces only
  // once it is whole and unpacked.
  const std::string download = FreshNameIn(m_strTargetFolder, "download", 0);
  const DownloadOutcome outcome = DownloadToFile(
      m_strUrl, download, dialog.GetDlgItem(IDC_SETUP_PROGRESS).GetSafeHwnd(), m_nCancelRequested, m_nBusy);
  // Too small to be the package, or no file to write: nothing was transferred and the dialog
  // keeps its texts until the user cancels.
  if (outcome == DownloadOutcome::kNotStarted) return;
  // Whatever happens below, the transfer has ended and "Close" must work again.
  auto idle = qv::MakeScopeExit([this] { m_nBusy = 0; });
  const size_t nameStart = m_strFilePath.find_last_of('\\');
  const std::string packageName = nameStart == std::string::npos ? m_strFilePath : m_strFilePath.substr(nameStart + 1);
  if (outcome == DownloadOutcome::kComplete && InstallPackage(download, packageName, m_strTargetFolder, m_signaturePolicy)) {
    m_bInstalled = true;
    dialog.SetDlgItemText(IDC_SETUP_STATUS, L"Installation Complete");
  } else {
    UtTrace("Package not installed: " + packageName);
    if (IsAgentPathFreeOfLinks(download)) ::DeleteFileA(download.c_str());  // what came of an ended transfer
  }
  dialog.SetDlgItemText(IDC_SETUP_CANCEL_CLOSE, L"Close");
}

void CSetupProgressDlg::ShowCancelRequested() {
  m_nCancelRequested = 1;
  SetDlgItemText(IDC_SETUP_CANCEL_CLOSE, L"Close");
  GetDlgItem(IDC_SETUP_PROGRESS).ShowWindow(SW_HIDE);
  SetDlgItemText(IDC_SETUP_STATUS, kReminder);
}

void CSetupProgressDlg::OnCancelOrClose() {
  if (ButtonReads(L"Cancel")) {
    ShowCancelRequested();
    return;
  }
  if (m_nBusy != 0) return;
  EndDialog(m_nCancelRequested != 0 ? IDCANCEL : IDOK);
}

void CSetupProgressDlg::OnCancel() {
  // Escape or the close box: while the worker runs it still uses this dialog, so the request is
  // taken as a cancel and the dialog ends once the worker has noticed it.
  if (!m_bWorkerRunning) {
    EndDialog(IDCANCEL);
    return;
  }
  if (ButtonReads(L"Cancel")) ShowCancelRequested();
  m_bEndWhenWorkerEnds = true;
}

INT_PTR CSetupProgressDlg::OnWorkerEnded(WPARAM, LPARAM) {
  if (m_bEndWhenWorkerEnds) EndDialog(IDCANCEL);
  return 0;
}

}  // namespace qv::updateclient
