// Dialog procedure, dispatch and modal loop of the dialog base.
#include "common/win/ui/dialog.h"

#include <optional>

#include "common/win/ui/display.h"

namespace qv::ui {

namespace {

// Messages whose dialog-procedure result is the value itself rather than TRUE plus DWLP_MSGRESULT.
bool ReturnsValueDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
    case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON: case WM_INITDIALOG:
      return true;
    default:
      return false;
  }
}

}  // namespace

CDialogBase::~CDialogBase() {
  if (m_hWnd) ::DestroyWindow(m_hWnd);
}

INT_PTR CDialogBase::DoModal() {
  m_bEnded = false;
  std::optional<CPerMonitorDpiScope> perMonitorDpi;
  if (m_bPerMonitorDpi) perMonitorDpi.emplace();
  HINSTANCE resources = m_hResources ? m_hResources : ::GetModuleHandleW(nullptr);
  HWND hWnd = ::CreateDialogParamW(resources, MAKEINTRESOURCEW(m_nTemplateId), m_hParent,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
  if (!hWnd) return -1;
  bool ownerDisabled = m_hParent && !::EnableWindow(m_hParent, FALSE);
  if (!m_bEnded && !m_bKeepHidden && !::IsWindowVisible(hWnd)) ::ShowWindow(hWnd, SW_SHOWNORMAL);

  MSG message;
  while (!m_bEnded) {
    BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      ::PostQuitMessage(static_cast<int>(message.wParam));  // leave the quit for the outer loop
      break;
    }
    if (got == -1) break;
    if (PreTranslateMessage(&message)) continue;
    if (::IsDialogMessageW(hWnd, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (ownerDisabled) ::EnableWindow(m_hParent, TRUE);
  ::DestroyWindow(hWnd);
  m_hWnd = nullptr;
  return m_nResult;
}

void CDialogBase::EndDialog(INT_PTR result) {
  m_nResult = result;
  m_bEnded = true;
  if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wakes the modal loop
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialogBase* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialogBase*>(lParam);
    ::SetWindowLongPtrW(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->m_hWnd = hWnd;
  } else {
    self = reinterpret_cast<CDialogBase*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
  }
  if (!self) return FALSE;
  try {
    return self->Dispatch(message, wParam, lParam);
  } catch (...) {
    return FALSE;  // a window procedure is an exception boundary
  }
}

INT_PTR CDialogBase::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  INT_PTR result = 0;
  if (ProcessMessage(message, wParam, lParam, result)) {
    if (ReturnsValueDirectly(message)) return result;
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      OnOK();
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace qv::ui
