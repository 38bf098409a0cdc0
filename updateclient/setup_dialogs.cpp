// The setup dialogs' look, buttons and the download worker of the progress dialog.
#include "updateclient/setup_dialogs.h"

#include <commctrl.h>

#include <utility>
#include <vector>

#include "common/core/display_scale.h"
#include "common/core/unique_resource.h"
#include "common/win/ansi_text.h"
#include "common/win/ui/display.h"
#include "updateclient/core/agent_rules.h"
#include "updateclient/library_module.h"
#include "updateclient/win/library_trace.h"
#include "updateclient/win/agent_files.h"
#include "updateclient/win/transport.h"

namespace qv::updateclient {

namespace {

const wchar_t kReminder[] = L"You will be reminded the next time you connect your phone to\nyour PC.";
const wchar_t kAlternativeCaption[] = L"Corbel Wireless Utility Application - QV";
const wchar_t kAlternativeBody[] =
    L"Software is available that will help your QV phone to \ncommunicate with your PC. Download now?";

// The heading's font: 18 pixels high at 96 DPI.
constexpr int kHeadingHeight = 18;
// Smaller than this the heading would no longer read as one.
constexpr int kSmallestHeadingHeight = 11;

HFONT CreateHeadingFont(int height) {
  return ::CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
}

// Whether `text` in `font` fits on one line of `width` pixels.
bool FitsOneLine(HWND control, HFONT font, const std::wstring& text, int width) {
  HDC dc = ::GetDC(control);
  if (!dc) return true;
  HGDIOBJ was = ::SelectObject(dc, font);
  SIZE extent{};
  const BOOL measured = ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  ::SelectObject(dc, was);
  ::ReleaseDC(control, dc);
  return !measured || extent.cx <= width;
}

// The template's two pictures (static bitmaps without an id of their own), left one first.
std::vector<HWND> PictureControls(HWND dialog) {
  std::vector<HWND> pictures;
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if ((::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) pictures.push_back(child);
  }
  RECT first{}, second{};
  if (pictures.size() == 2 && ::GetWindowRect(pictures[0], &first) && ::GetWindowRect(pictures[1], &second) &&
      second.left < first.left) {
    std::swap(pictures[0], pictures[1]);
  }
  return pictures;
}

}  // namespace

CSetupDialog::CSetupDialog(UINT templateId)
    : CDialogBase(templateId, nullptr, LibraryModule()),
      m_brBackground(::CreateSolidBrush(::GetSysColor(COLOR_WINDOW))) {
  UsePerMonitorDpi();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
}

void CSetupDialog::FitToDpi(unsigned dpi) {
  qv::ui::CWindow heading = GetDlgItem(IDC_SETUP_HEADING);
  const std::wstring text = heading.GetWindowText();
  const RECT room = heading.GetClientRect();
  const int height = qv::LargestFittingHeight(
      qv::ScaleForDpi(kHeadingHeight, dpi), qv::ScaleForDpi(kSmallestHeadingHeight, dpi), [&](int candidate) {
        qv::UniqueGdiObject font(CreateHeadingFont(candidate));
        return !font || FitsOneLine(heading.GetSafeHwnd(), static_cast<HFONT>(font.get()), text, room.right - room.left);
      });
  qv::UniqueGdiObject font(CreateHeadingFont(height));
  if (font) {
    heading.SetFont(static_cast<HFONT>(font.get()));
    std::swap(m_fontHeading, font);  // the font it had goes once the control has the new one
  }
  const unsigned art[2][2] = {{IDB_SETUP_LEFT, IDB_SETUP_LEFT_200}, {IDB_SETUP_RIGHT, IDB_SETUP_RIGHT_200}};
  const std::vector<HWND> pictures = PictureControls(m_hWnd);
  if (dpi != qv::kBaseDpi || m_pictures[0]) {  // at 100 % the template's own pictures serve
    for (size_t i = 0; i < pictures.size() && i < 2; ++i) {
      HBITMAP picture = qv::ui::LoadPictureForDpi(LibraryModule(), art[i][0], art[i][1], dpi);
      if (picture) qv::ui::SetPicture(pictures[i], m_pictures[i], picture);
    }
  }
  Invalidate();
}

void CSetupDialog::OnDpiChanged(WPARAM dpi, LPARAM) {
  // The dialog manager scales the template's controls and font first; the heading and the
  // pictures follow once it has.
  PostMessage(kFitToDpi, LOWORD(dpi));
}

INT_PTR CSetupDialog::OnFitToDpi(WPARAM dpi, LPARAM) {
  FitToDpi(dpi ? static_cast<unsigned>(dpi) : qv::ui::DpiOf(m_hWnd));
  return 0;
}

INT_PTR CSetupDialog::OnSysColorChange(WPARAM, LPARAM) {
  m_brBackground.reset(::CreateSolidBrush(::GetSysColor(COLOR_WINDOW)));
  Invalidate();
  return 0;
}

void CSetupDialog::ApplyAlternativeCaption() {
  SetWindowText(m_strTitle.empty() ? std::wstring(kAlternativeCaption)
                                   : qv::FromAnsi(m_strTitle.data(), m_strTitle.size()));
  SetDlgItemText(IDC_SETUP_HEADING, L"");
}

INT_PTR CSetupDialog::OnCtlColor(WPARAM hdc, LPARAM control) {
  // The system's window colours, white and black normally and the theme's in high contrast: the
  // texts are always drawn in the colour made for the background they are on.
  HDC dc = reinterpret_cast<HDC>(hdc);
  HWND hWnd = reinterpret_cast<HWND>(control);
  if (hWnd == m_hWnd) {
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
  } else {
    if (::GetDlgCtrlID(hWnd) == IDC_SETUP_HEADING && m_fontHeading) ::SelectObject(dc, m_fontHeading.get());
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkMode(dc, TRANSPARENT);
  }
  return reinterpret_cast<INT_PTR>(m_brBackground.get());
}

bool CSetupDialog::ButtonReads(const wchar_t* text) const {
  return GetDlgItem(IDC_SETUP_CANCEL_CLOSE).GetWindowText() == text;
}

BOOL CSetupConfirmDlg::OnInitDialog() {
  FitToDpi(qv::ui::DpiOf(m_hWnd));
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
  FitToDpi(qv::ui::DpiOf(m_hWnd));
  // The status line comes right before the bar, so a screen reader takes it for the bar's name.
  ::SetWindowPos(GetDlgItem(IDC_SETUP_PROGRESS).GetSafeHwnd(), GetDlgItem(IDC_SETUP_STATUS).GetSafeHwnd(), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  m_nCancelRequested = 0;
  m_nBusy = 0;
  if (m_nAlternativeText == 1) ApplyAlternativeCaption();
  m_hProgressBar = GetDlgItem(IDC_SETUP_PROGRESS).GetSafeHwnd();
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
  const DownloadOutcome outcome = DownloadToFile(m_strUrl, download, this, m_nCancelRequested, m_nBusy);
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

void CSetupProgressDlg::OnSizeKnown(uint64_t totalBytes) {
  if (m_hProgressBar) ::SendMessageW(m_hProgressBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(totalBytes));
}

void CSetupProgressDlg::OnProgress(uint64_t writtenBytes) {
  if (m_hProgressBar) ::SendMessageW(m_hProgressBar, PBM_SETPOS, static_cast<WPARAM>(writtenBytes), 0);
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
