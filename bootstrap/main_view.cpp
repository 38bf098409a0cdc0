// The licence page and the progress page of the main dialog, its painting and its colours.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "bootstrap/app.h"
#include "bootstrap/core/line_ends.h"
#include "bootstrap/provisioning/trace_log.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "bootstrap/view/control_ids.h"
#include "common/win/ansi_text.h"
#include "common/win/handles.h"

namespace {

constexpr int kLicencePageHeight = 410;
constexpr int kProgressPageHeight = 180;
constexpr int kPageWidth = 420;

HFONT CreateDialogFont(int weight) {
  return ::CreateFontW(12, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, L"MS Sans Serif");
}

int BitmapWidth(unsigned id) {
  qv::UniqueGdiObject bitmap(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)));
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap.get(), sizeof(info), &info)) return 0;
  return info.bmWidth;
}

// Turns a static control into a picture showing one of the program's bitmaps. The bitmap lives
// as long as the program: the dialog is shown once per run.
void ShowPicture(const qv::ui::CWindow& control, unsigned bitmapId) {
  HWND hWnd = control.GetSafeHwnd();
  LONG_PTR style = ::GetWindowLongPtrW(hWnd, GWL_STYLE);
  ::SetWindowLongPtrW(hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_BITMAP);
  qv::ui::CStatic(hWnd).SetBitmap(::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId)));
  control.ShowWindow(SW_SHOW);
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
  SetWindowText(g_strAppTitle);
  m_hBrush.reset(::CreateSolidBrush(RGB(255, 255, 255)));
  m_fontNormal.reset(CreateDialogFont(FW_NORMAL));
  if (!m_fontNormal) return FALSE;
  m_fontBold.reset(CreateDialogFont(FW_BOLD));
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

void CUSBAutoRunDlg::LayOutLicencePage() {
  SetDlgItemText(kIdLicenceText, m_strLicence);
  SetFont(static_cast<HFONT>(m_fontBold.get()));

  SetWindowPos(nullptr, 0, 0, kPageWidth, kLicencePageHeight, SWP_NOZORDER);
  CenterWindow();
  RECT client = GetClientRect();
  const int W = client.right - client.left, H = client.bottom - client.top;
  HFONT normal = static_cast<HFONT>(m_fontNormal.get());
  auto place = [&](int id, int x, int y, int width, int height, int show, bool normalFont) {
    qv::ui::CWindow control = GetDlgItem(id);
    control.MoveWindow(x, y, width, height);
    if (normalFont) control.SetFont(normal);
    if (show >= 0) control.ShowWindow(show);
    return control.GetRectIn(*this).bottom;
  };
  place(kIdHeaderStrip, 0, 0, W, 45, SW_SHOW, false);
  int leftWidth = BitmapWidth(kLeftHeaderBitmap), rightWidth = BitmapWidth(kRightHeaderBitmap);
  place(kIdLeftPicture, 20, 5, leftWidth, 40, -1, false);
  ShowPicture(GetDlgItem(kIdLeftPicture), kLeftHeaderBitmap);
  place(kIdRightPicture, W - 20 - rightWidth, 5, rightWidth, 40, -1, false);
  ShowPicture(GetDlgItem(kIdRightPicture), kRightHeaderBitmap);
  place(kIdQuestion, 20, 50, W - 40, 40, -1, true);
  int bottom = place(kIdStatus, 20, 60, W - 40, 20, SW_HIDE, true);
  bottom = place(kIdLicenceHeading, 20, bottom + 10, W - 40, 20, SW_HIDE, true);
  bottom = place(kIdLicenceHint, 20, bottom + 1, W - 40, 20, SW_SHOW, true);
  bottom = place(kIdLicenceText, 20, bottom + 5, W - 40, 150, SW_SHOW, true);
  bottom = place(kIdAccept, 20, bottom + 5, W - 40, 20, SW_SHOW, true);
  place(kIdDecline, 20, bottom + 1, W - 40, 20, SW_SHOW, true);
  place(kIdYes, 20, H - 40, 100, 25, SW_SHOW, true);
  place(kIdNo, W - 120, H - 40, 100, 25, SW_SHOW, true);
  place(kIdCancel, W - 120, H - 40, 100, 25, SW_HIDE, true);
  place(kIdProgress, 20, 82, W - 40, 15, SW_HIDE, false);

  SetDlgItemText(kIdQuestion, FormatText(L"Software is available for your %ls to communicate with your PC.\n"
                                         L"Download and Install now?",
                                         g_strAppTitle.c_str()));
  SetDlgItemText(kIdStatus, L"Downloading...");
  SetDlgItemText(kIdLicenceHeading, L"License Agreement");
  SetDlgItemText(kIdLicenceHint, L"Please read the following license agreement carefully.");
  SetDlgItemText(kIdAccept, L"I accept the terms in the agreement");
  SetDlgItemText(kIdDecline, L"I do not accept the terms in the agreement");
  SetDlgItemText(kIdYes, L"Yes");
  SetDlgItemText(kIdNo, L"No");
  SetDlgItemText(kIdCancel, L"Cancel");
  OnDecline();
}

void CUSBAutoRunDlg::ModifyDialog_Step1() {
  WriteTraceLog(L"ModifyDialog_Step1()\r\n");
  RECT window = GetWindowRect();
  SetWindowPos(nullptr, window.left, window.top, window.right - window.left, kProgressPageHeight,
               SWP_NOZORDER | SWP_NOMOVE);
  for (int id : {kIdLicenceHeading, kIdLicenceHint, kIdLicenceText, kIdAccept, kIdDecline, kIdYes, kIdNo}) {
    GetDlgItem(id).ShowWindow(SW_HIDE);
  }
  RECT client = GetClientRect();
  qv::ui::CWindow cancel = GetDlgItem(kIdCancel);
  cancel.MoveWindow(client.right - 120, client.bottom - 40, 100, 25);
  cancel.SetFont(static_cast<HFONT>(m_fontNormal.get()));
  cancel.ShowWindow(SW_SHOW);
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
    ::SetTextColor(dc, RGB(0, 0, 0));
    ::SetBkColor(dc, RGB(255, 255, 255));
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(m_hBrush.get());
  }
  if (id == kIdLeftPicture || id == kIdRightPicture) return reinterpret_cast<INT_PTR>(m_hBrush.get());
  return 0;  // the dialog manager's own colours for every other control
}
