// Finding top-level windows of any process by title, telling message boxes from dialogs, and
// reading the state of dialog controls across processes (only messages the system marshals).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/ui_driver/json_line.h"

namespace qv::ui {

enum class WindowKind { kAny, kDialog, kMessageBox };

// Which top-level windows a command means. An empty title matches every title.
struct CWindowFilter {
  std::wstring m_strTitle;
  bool m_bSubstring = false;
  std::wstring m_strClass;
  DWORD m_nPid = 0;
  HWND m_hWnd = nullptr;
  bool m_bVisibleOnly = false;
  WindowKind m_nKind = WindowKind::kAny;
  int m_nControlId = -1;  // >= 0: only windows that have a direct child with this id
};

std::wstring TitleOf(HWND hwnd);
std::wstring ClassOf(HWND hwnd);

// Top-level windows in Z order (topmost first), hidden ones included.
std::vector<HWND> TopLevelWindows();
std::vector<HWND> FindWindows(const CWindowFilter& filter);

// Direct children in Z order.
std::vector<HWND> ChildrenOf(HWND parent);

// A "#32770" window whose children are only the text, icon and buttons that the system's
// message box creates (buttons IDOK..IDCONTINUE); the program's own dialogs use other ids.
bool IsMessageBox(HWND hwnd);

// The message box's text: the static with id 0xFFFF, else its first non-icon static.
std::wstring MessageBoxText(HWND box);

// WM_GETTEXT of any length through a timed send; false when the window did not answer.
bool ReadText(HWND hwnd, std::wstring* text);

// Sends with a timeout so that a busy or hung program cannot block the driver.
bool SendTimed(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

// The window's scale in dots per inch (GetDpiForWindow, else the screen's).
UINT DpiOf(HWND hwnd);

CJsonObject RectJson(const RECT& rc);
// The monitor nearest the window: "rect" and "work" (its work area), screen coordinates.
CJsonObject MonitorJson(HWND hwnd);
CJsonObject WindowJson(HWND hwnd);
CJsonObject ControlJson(HWND dialog, HWND control);
CJsonObject DialogJson(HWND dialog);
CJsonObject MessageBoxJson(HWND box);

}  // namespace qv::ui
