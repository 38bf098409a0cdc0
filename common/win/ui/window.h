// Thin wrappers over a window handle and the controls the dialogs use. Each member is one system
// call or one window message, with no logic of its own.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace qv::ui {

class CWindow {
 public:
  CWindow() = default;
  explicit CWindow(HWND hWnd) : m_hWnd(hWnd) {}
  HWND GetSafeHwnd() const { return m_hWnd; }
  explicit operator bool() const { return m_hWnd != nullptr; }

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
  }
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageW(m_hWnd, message, wParam, lParam);
  }
  CWindow GetDlgItem(int id) const { return CWindow(::GetDlgItem(m_hWnd, id)); }
  void SetWindowText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }
  void SetDlgItemText(int id, const std::wstring& text) const { ::SetDlgItemTextW(m_hWnd, id, text.c_str()); }
  std::wstring GetWindowText() const;
  BOOL ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL EnableWindow(BOOL enable) const { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) const {
    return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
  }
  BOOL SetWindowPos(HWND after, int x, int y, int width, int height, UINT flags) const {
    return ::SetWindowPos(m_hWnd, after, x, y, width, height, flags);
  }
  RECT GetWindowRect() const;
  RECT GetClientRect() const;
  // The window rectangle in the client coordinates of |parent|.
  RECT GetRectIn(const CWindow& parent) const;
  void CenterWindow() const;
  void SetFont(HFONT font, BOOL redraw = TRUE) const { SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw); }
  void SetIcon(HICON icon, BOOL big) const { SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)); }
  BOOL UpdateWindow() const { return ::UpdateWindow(m_hWnd); }
  BOOL Invalidate(BOOL erase = TRUE) const { return ::InvalidateRect(m_hWnd, nullptr, erase); }
  BOOL RedrawNow() const { return ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }
  BOOL SetForegroundWindow() const { return ::SetForegroundWindow(m_hWnd); }
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse) const { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
  BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }

 protected:
  HWND m_hWnd = nullptr;
};

class CProgressCtrl : public CWindow {
 public:
  using CWindow::CWindow;
  void SetRange(short lower, short upper) const { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
  int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
  int SetPos(int position) const { return static_cast<int>(SendMessage(PBM_SETPOS, position)); }
};

class CButton : public CWindow {
 public:
  using CWindow::CWindow;
  void SetCheck(int state) const { SendMessage(BM_SETCHECK, state); }
  int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
};

class CStatic : public CWindow {
 public:
  using CWindow::CWindow;
  HBITMAP SetBitmap(HBITMAP bitmap) const {
    return reinterpret_cast<HBITMAP>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  }
};

}  // namespace qv::ui
