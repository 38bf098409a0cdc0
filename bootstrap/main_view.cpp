// The licence page and the progress page of the main dialog, its painting and its colours.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "bootstrap/core/line_ends.h"
#include "bootstrap/core/page_layout.h"
#include "bootstrap/provisioning/trace_log.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "bootstrap/view/control_ids.h"
#include "common/win/ansi_text.h"
#include "common/core/display_scale.h"
#include "common/win/handles.h"
#include "common/win/ui/display.h"

namespace {

using qv::bootstrap::ControlPlacement;
using qv::bootstrap::PagePixels;

// The page's text font, 12 pixels high at 96 DPI (the same point size at any other).
HFONT CreateDialogFont(int weight, unsigned dpi) {
  return ::CreateFontW(qv::ScaleForDpi(12, dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, L"MS Sans Serif");
}

int BitmapWidth(HGDIOBJ bitmap) {
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap, sizeof(info), &info)) return 0;
  return info.bmWidth;
}

// Turns a static control into a picture showing `picture`, which `holder` keeps while it is shown.
void ShowPicture(const qv::ui::CWindow& control, qv::UniqueGdiObject& holder, HBITMAP picture) {
  HWND hWnd = control.GetSafeHwnd();
  LONG_PTR style = ::GetWindowLongPtrW(hWnd, GWL_STYLE);
  ::SetWindowLongPtrW(hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_BITMAP);
  qv::ui::SetPicture(hWnd, holder, picture);
}

PagePixels SizeOf(const RECT& rect) { return {rect.right - rect.left, rect.bottom - rect.top}; }

// Controls that show text in the page's normal font; the header and its pictures keep the
// template's font.
bool TakesNormalFont(int id) {
  return id != kIdHeaderStrip && id != kIdLeftPicture && id != kIdRightPicture && id != kIdProgress;
}

// The licence page shows at most this much of License.txt: a drive anyone can make may carry a
// file of any size, and the page must still come up.
constexpr size_t kLicenceShownBytes = 1u << 20;

// The licence text beside the program, read as ANSI text with its line ends made CR LF; |cut|
// tells that the file went on past what is shown.
bool ReadLicence(const std::wstring& path, std::wstring& text, bool& cut) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"rt"), &std::fclose);
  if (!file) return false;
  std::string bytes;
  char piece[4096];
  for (size_t got; bytes.size() < kLicenceShownBytes &&
                   (got = std::fread(piece, 1, std::min(sizeof(piece), kLicenceShownBytes - bytes.size()), file.get())) > 0;) {
    bytes.append(piece, got);
  }
  cut = bytes.size() == kLicenceShownBytes && std::fgetc(file.get()) != EOF;
  std::wstring wide = qv::FromAnsi(bytes.data(), bytes.size());
  text = qv::bootstrap::NormalizeLineEnds(wide);
  return true;
}

}  // namespace

BOOL CUSBAutoRunDlg::InitControl() {
  SetWindowText(m_launch.caption);
  m_hBrush.reset(::CreateSolidBrush(::GetSysColor(COLOR_WINDOW)));
  m_nDpi = qv::ui::DpiOf(m_hWnd);
  m_fontNormal.reset(CreateDialogFont(FW_NORMAL, m_nDpi));
  if (!m_fontNormal) return FALSE;
  m_fontBold.reset(CreateDialogFont(FW_BOLD, m_nDpi));
  if (!m_fontBold) return FALSE;
  m_ctrlProgress.SetRange(0, kProgressComplete);
  bool cut = false;
  if (!ReadLicence(m_strModulePath + L"License.txt", m_strLicence, cut)) return FALSE;
  if (cut) {
    WriteTraceLog(FormatText(L"[InitControl()] License.txt is longer than %u bytes: only its beginning is shown.......\r\n",
                             static_cast<unsigned>(kLicenceShownBytes)));
  }
  return TRUE;
}

void CUSBAutoRunDlg::SizeWindowForPage(const POINT* topLeft) {
  const PagePixels workArea = SizeOf(qv::ui::WorkAreaOf(m_hWnd));
  const PagePixels wanted = m_bProgressPage ? qv::bootstrap::ProgressPageWindow(m_nDpi, {})
                                            : qv::bootstrap::LicencePageWindow(m_nDpi, {});
  const PagePixels window = m_bProgressPage ? qv::bootstrap::ProgressPageWindow(m_nDpi, workArea)
                                            : qv::bootstrap::LicencePageWindow(m_nDpi, workArea);
  m_nShortenedBy = wanted.height - window.height;
  const RECT now = GetWindowRect();
  SetWindowPos(nullptr, topLeft ? topLeft->x : now.left, topLeft ? topLeft->y : now.top, window.width, window.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

qv::bootstrap::PageMetrics CUSBAutoRunDlg::CurrentMetrics() const {
  qv::bootstrap::PageMetrics metrics;
  metrics.dpi = m_nDpi;
  metrics.client = SizeOf(GetClientRect());
  metrics.leftPictureWidth = BitmapWidth(m_leftPicture.get());
  metrics.rightPictureWidth = BitmapWidth(m_rightPicture.get());
  metrics.shortenedBy = m_nShortenedBy;
  return metrics;
}

void CUSBAutoRunDlg::PlaceControl(const ControlPlacement& place) const {
  qv::ui::CWindow control = GetDlgItem(place.id);
  control.MoveWindow(place.x, place.y, place.width, place.height);
  if (TakesNormalFont(place.id)) control.SetFont(static_cast<HFONT>(m_fontNormal.get()));
}

void CUSBAutoRunDlg::PlaceControls() {
  const HINSTANCE module = ::GetModuleHandleW(nullptr);
  ShowPicture(GetDlgItem(kIdLeftPicture), m_leftPicture,
              qv::ui::LoadPictureForDpi(module, kLeftHeaderBitmap, kLeftHeaderLargeBitmap, m_nDpi));
  ShowPicture(GetDlgItem(kIdRightPicture), m_rightPicture,
              qv::ui::LoadPictureForDpi(module, kRightHeaderBitmap, kRightHeaderLargeBitmap, m_nDpi));
  for (const ControlPlacement& place : qv::bootstrap::PlaceMainDialogControls(CurrentMetrics())) PlaceControl(place);
}

void CUSBAutoRunDlg::LayOutLicencePage() {
  SetDlgItemText(kIdLicenceText, m_strLicence);
  SetFont(static_cast<HFONT>(m_fontBold.get()));
  qv::ui::LayOutDpiChangesOurselves(m_hWnd);

  const POINT origin{0, 0};
  SizeWindowForPage(&origin);
  CenterWindow();
  PlaceControls();
  for (int id : {kIdHeaderStrip, kIdLeftPicture, kIdRightPicture, kIdLicenceHint, kIdLicenceText, kIdAccept,
                 kIdDecline, kIdYes, kIdNo}) {
    GetDlgItem(id).ShowWindow(SW_SHOW);
  }
  for (int id : {kIdStatus, kIdLicenceHeading, kIdCancel, kIdProgress}) GetDlgItem(id).ShowWindow(SW_HIDE);
  // The windows' order is the order the Tab key visits them and lets each text label the
  // control after it.
  HWND after = HWND_TOP;
  for (int id : qv::bootstrap::MainDialogControlOrder()) {
    HWND control = ::GetDlgItem(m_hWnd, id);
    ::SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = control;
  }
  m_bPageLaidOut = true;

  SetDlgItemText(kIdQuestion, FormatText(L"Software is available for your %ls to communicate with your PC.\n"
                                         L"Download and Install now?",
                                         m_launch.caption.c_str()));
  SetDlgItemText(kIdStatus, L"Downloading...");
  SetDlgItemText(kIdLicenceHeading, L"License Agreement");
  SetDlgItemText(kIdLicenceHint, L"Please read the following license agreement carefully.");
  SetDlgItemText(kIdAccept, L"I accept the terms in the agreement");
  SetDlgItemText(kIdDecline, L"I do not accept the terms in the agreement");
  SetDlgItemText(kIdYes, L"Yes");
  SetDlgItemText(kIdNo, L"No");
  SetDlgItemText(kIdCancel, L"Cancel");
  OnDecline();
  // The keyboard starts in the licence text, at its beginning and with nothing selected.
  HWND licence = ::GetDlgItem(m_hWnd, kIdLicenceText);
  ::SetFocus(licence);
  ::SendMessageW(licence, EM_SETSEL, 0, 0);
}

void CUSBAutoRunDlg::ModifyDialog_Step1() {
  WriteTraceLog(L"ModifyDialog_Step1()\r\n");
  m_bProgressPage = true;
  SizeWindowForPage(nullptr);
  for (int id : {kIdLicenceHeading, kIdLicenceHint, kIdLicenceText, kIdAccept, kIdDecline, kIdYes, kIdNo}) {
    GetDlgItem(id).ShowWindow(SW_HIDE);
  }
  for (const ControlPlacement& place : qv::bootstrap::PlaceMainDialogControls(CurrentMetrics())) {
    if (place.id == kIdCancel) PlaceControl(place);
  }
  qv::ui::CWindow cancel = GetDlgItem(kIdCancel);
  cancel.ShowWindow(SW_SHOW);
  ::SetFocus(cancel.GetSafeHwnd());  // the button that held the focus is gone
}

INT_PTR CUSBAutoRunDlg::OnDpiChanged(WPARAM dpi, LPARAM suggested) {
  const unsigned newDpi = LOWORD(dpi) ? LOWORD(dpi) : qv::ui::DpiOf(m_hWnd);
  if (!m_bPageLaidOut) {  // a run that stays hidden lays nothing out
    m_nDpi = newDpi;
    return 0;
  }
  qv::UniqueGdiObject normal(CreateDialogFont(FW_NORMAL, newDpi)), bold(CreateDialogFont(FW_BOLD, newDpi));
  if (!normal || !bold) return 0;  // the page stays as it is rather than without its fonts
  m_nDpi = newDpi;
  // The fonts in use go only once every control has its new one.
  std::swap(m_fontNormal, normal);
  std::swap(m_fontBold, bold);
  SetFont(static_cast<HFONT>(m_fontBold.get()));
  // Where the system suggests on the new monitor; without a suggestion the window keeps its place.
  const RECT* where = reinterpret_cast<const RECT*>(suggested);
  const POINT topLeft = where ? POINT{where->left, where->top} : POINT{};
  SizeWindowForPage(where ? &topLeft : nullptr);
  PlaceControls();
  Invalidate();
  return 0;
}

INT_PTR CUSBAutoRunDlg::OnSysColorChange(WPARAM, LPARAM) {
  m_hBrush.reset(::CreateSolidBrush(::GetSysColor(COLOR_WINDOW)));
  Invalidate();
  return 0;
}

INT_PTR CUSBAutoRunDlg::OnPaint(WPARAM, LPARAM) {
  for (int id : {kIdLicenceText, kIdHeaderStrip, kIdLeftPicture, kIdRightPicture}) GetDlgItem(id).RedrawNow();
  if (IsIconic()) {
    WriteTraceLog(L"OnPaint() - Iconic\r\n");
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client = GetClientRect();
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return 0;
  }
  WriteTraceLog(L"OnPaint() - Painting\r\n");
  PAINTSTRUCT paint;
  ::BeginPaint(m_hWnd, &paint);
  ::EndPaint(m_hWnd, &paint);
  return 0;
}

INT_PTR CUSBAutoRunDlg::OnCtlColor(WPARAM wParam, LPARAM lParam) {
  HDC dc = reinterpret_cast<HDC>(wParam);
  int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
  if (id == kIdHeaderStrip) {
    // The system's window colours: white and black normally, the theme's in high contrast.
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(m_hBrush.get());
  }
  if (id == kIdLeftPicture || id == kIdRightPicture) return reinterpret_cast<INT_PTR>(m_hBrush.get());
  return 0;  // the dialog manager's own colours for every other control
}
