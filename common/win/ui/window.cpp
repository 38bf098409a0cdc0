// The few wrapper members that need more than one expression.
#include "common/win/ui/window.h"

namespace qv::ui {

std::wstring CWindow::GetWindowText() const {
  int length = ::GetWindowTextLengthW(m_hWnd);
  std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
  int copied = ::GetWindowTextW(m_hWnd, &text[0], static_cast<int>(text.size()));
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

RECT CWindow::GetWindowRect() const {
  RECT rect{};
  ::GetWindowRect(m_hWnd, &rect);
  return rect;
}

RECT CWindow::GetClientRect() const {
  RECT rect{};
  ::GetClientRect(m_hWnd, &rect);
  return rect;
}

RECT CWindow::GetRectIn(const CWindow& parent) const {
  RECT rect = GetWindowRect();
  ::MapWindowPoints(HWND_DESKTOP, parent.GetSafeHwnd(), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void CWindow::CenterWindow() const {
  RECT rect = GetWindowRect();
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  int x = work.left + ((work.right - work.left) - width) / 2;
  int y = work.top + ((work.bottom - work.top) - height) / 2;
  ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qv::ui
