// Window search and control state for the UI driver. Everything read from another process goes
// through calls the system answers itself (titles, classes, styles, geometry) or through messages
// it marshals (WM_GETTEXT, BM_GETCHECK, PBM_GETPOS, PBM_GETRANGE without a structure).
#include "tools/ui_driver/window_query.h"

#include <commctrl.h>

namespace qv::ui {
namespace {

constexpr UINT kSendTimeoutMs = 5000;
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kMessageBoxIconIds[] = {0x14, 0x440};  // the system's icon static (two variants)

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

bool IsMessageBoxButtonId(int id) { return id >= IDOK && id <= IDCONTINUE; }

bool IsIconStatic(HWND control) {
  return (GetWindowLongW(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

bool HasChildId(HWND parent, int id) {
  for (HWND child : ChildrenOf(parent)) {
    if (GetDlgCtrlID(child) == id) return true;
  }
  return false;
}

bool TitleMatches(const CWindowFilter& filter, const std::wstring& title) {
  if (filter.m_strTitle.empty()) return true;
  if (filter.m_bSubstring) return title.find(filter.m_strTitle) != std::wstring::npos;
  return title == filter.m_strTitle;
}

int FocusedControlId(HWND dialog, HWND* focus) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  *focus = nullptr;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return -1;
  *focus = info.hwndFocus;
  if (!info.hwndFocus || !IsChild(dialog, info.hwndFocus)) return -1;
  return GetDlgCtrlID(info.hwndFocus);
}

}  // namespace

std::wstring TitleOf(HWND hwnd) {
  // InternalGetWindowText reads the stored caption without sending a message to the owner.
  wchar_t buffer[1024] = {};
  InternalGetWindowText(hwnd, buffer, static_cast<int>(sizeof(buffer) / sizeof(buffer[0])));
  return buffer;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetClassNameW(hwnd, buffer, static_cast<int>(sizeof(buffer) / sizeof(buffer[0])));
  return buffer;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> FindWindows(const CWindowFilter& filter) {
  std::vector<HWND> found;
  for (HWND hwnd : TopLevelWindows()) {
    if (filter.m_hWnd && hwnd != filter.m_hWnd) continue;
    if (!TitleMatches(filter, TitleOf(hwnd))) continue;
    if (!filter.m_strClass.empty() && ClassOf(hwnd) != filter.m_strClass) continue;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (filter.m_nPid && pid != filter.m_nPid) continue;
    if (filter.m_bVisibleOnly && !IsWindowVisible(hwnd)) continue;
    if (filter.m_nKind == WindowKind::kMessageBox && !IsMessageBox(hwnd)) continue;
    if (filter.m_nKind == WindowKind::kDialog && IsMessageBox(hwnd)) continue;
    if (filter.m_nControlId >= 0 && !HasChildId(hwnd, filter.m_nControlId)) continue;
    found.push_back(hwnd);
  }
  return found;
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

bool IsMessageBox(HWND hwnd) {
  if (ClassOf(hwnd) != L"#32770") return false;
  bool hasButton = false;
  bool hasText = false;
  for (HWND child : ChildrenOf(hwnd)) {
    const int id = GetDlgCtrlID(child);
    const std::wstring cls = ClassOf(child);
    if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsMessageBoxButtonId(id)) {
      hasButton = true;
      continue;
    }
    if (_wcsicmp(cls.c_str(), L"Static") != 0) return false;
    if (id == kMessageBoxTextId) {
      hasText = true;
      continue;
    }
    bool icon = false;
    for (int iconId : kMessageBoxIconIds) icon = icon || id == iconId;
    if (!icon) return false;
  }
  return hasButton && hasText;
}

std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  for (HWND child : ChildrenOf(box)) {
    if (GetDlgCtrlID(child) == kMessageBoxTextId && ReadText(child, &text)) return text;
  }
  return text;
}

bool SendTimed(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeoutMs, &answer)) {
    return false;
  }
  *result = static_cast<LRESULT>(answer);
  return true;
}

bool ReadText(HWND hwnd, std::wstring* text) {
  LRESULT length = 0;
  if (!SendTimed(hwnd, WM_GETTEXTLENGTH, 0, 0, &length)) return false;
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
  LRESULT copied = 0;
  if (!SendTimed(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &copied)) {
    return false;
  }
  text->assign(buffer.data(), static_cast<size_t>(copied) < buffer.size() ? copied : buffer.size() - 1);
  return true;
}

CJsonObject RectJson(const RECT& rc) {
  return CJsonObject()
      .Int("left", rc.left).Int("top", rc.top).Int("right", rc.right).Int("bottom", rc.bottom)
      .Int("width", rc.right - rc.left).Int("height", rc.bottom - rc.top);
}

CJsonObject WindowJson(HWND hwnd) {
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
  RECT rc = {};
  GetWindowRect(hwnd, &rc);
  return CJsonObject()
      .Int("hwnd", reinterpret_cast<INT_PTR>(hwnd))
      .Str("title", TitleOf(hwnd))
      .Str("class", ClassOf(hwnd))
      .Bool("visible", IsWindowVisible(hwnd) != FALSE)
      .Bool("enabled", IsWindowEnabled(hwnd) != FALSE)
      .Int("pid", pid)
      .Int("tid", tid)
      .Int("owner", reinterpret_cast<INT_PTR>(GetWindow(hwnd, GW_OWNER)))
      .Bool("message_box", IsMessageBox(hwnd))
      .Obj("rect", RectJson(rc));
}

CJsonObject ControlJson(HWND dialog, HWND control) {
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  RECT rc = {};
  GetWindowRect(control, &rc);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rc), 2);
  const std::wstring cls = ClassOf(control);
  CJsonObject json;
  json.Int("hwnd", reinterpret_cast<INT_PTR>(control))
      .Int("id", GetDlgCtrlID(control))
      .Str("class", cls);
  std::wstring text;
  if (ReadText(control, &text)) {
    json.Str("text", text);
  } else {
    json.Null("text");
  }
  json.Bool("visible", (style & WS_VISIBLE) != 0)
      .Bool("showing", IsWindowVisible(control) != FALSE)
      .Bool("enabled", IsWindowEnabled(control) != FALSE)
      .Int("style", static_cast<DWORD>(style))
      .Int("exstyle", static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE)))
      .Obj("rect", RectJson(rc));
  RECT screen = {}, client = {};
  GetWindowRect(control, &screen);
  GetClientRect(control, &client);
  json.Obj("screen", RectJson(screen)).Obj("client", CJsonObject().Int("width", client.right).Int("height", client.bottom));
  LRESULT value = 0;
  if (_wcsicmp(cls.c_str(), L"Button") == 0) {
    if (SendTimed(control, BM_GETCHECK, 0, 0, &value)) json.Int("checked", value);
  } else if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) {
    LRESULT low = 0, high = 0;
    if (SendTimed(control, PBM_GETPOS, 0, 0, &value)) json.Int("pos", value);
    if (SendTimed(control, PBM_GETRANGE, TRUE, 0, &low)) json.Int("min", static_cast<int>(low));
    if (SendTimed(control, PBM_GETRANGE, FALSE, 0, &high)) json.Int("max", static_cast<int>(high));
  } else if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_BITMAP) {
    if (SendTimed(control, STM_GETIMAGE, IMAGE_BITMAP, 0, &value)) json.Bool("has_image", value != 0);
  }
  return json;
}

UINT DpiOf(HWND hwnd) {
  // Looked up at run time: a system without per-window scaling has one scale for all.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow) return getDpiForWindow(hwnd);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return static_cast<UINT>(dpi);
}

CJsonObject MonitorJson(HWND hwnd) {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info)) return CJsonObject();
  return CJsonObject().Obj("rect", RectJson(info.rcMonitor)).Obj("work", RectJson(info.rcWork));
}

CJsonObject DialogJson(HWND dialog) {
  RECT client = {};
  GetClientRect(dialog, &client);
  RECT screenClient = client;
  MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&screenClient), 2);
  HWND focus = nullptr;
  const int focusId = FocusedControlId(dialog, &focus);
  std::vector<CJsonObject> controls;
  for (HWND child : ChildrenOf(dialog)) controls.push_back(ControlJson(dialog, child));
  return WindowJson(dialog)
      .Int("style", static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)))
      .Int("exstyle", static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)))
      .Obj("client", CJsonObject().Int("width", client.right).Int("height", client.bottom))
      .Obj("client_screen", RectJson(screenClient))
      .Int("dpi", DpiOf(dialog))
      .Obj("monitor", MonitorJson(dialog))
      .Bool("foreground", GetForegroundWindow() == dialog)
      .Bool("minimized", IsIconic(dialog) != FALSE)
      .Int("focus", reinterpret_cast<INT_PTR>(focus))
      .Int("focus_id", focusId)
      .Array("controls", controls);
}

CJsonObject MessageBoxJson(HWND box) {
  std::vector<CJsonObject> buttons;
  for (HWND child : ChildrenOf(box)) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Button") != 0) continue;
    std::wstring text;
    ReadText(child, &text);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    buttons.push_back(CJsonObject()
                          .Int("id", GetDlgCtrlID(child))
                          .Str("text", text)
                          .Bool("visible", (style & WS_VISIBLE) != 0)
                          .Bool("enabled", IsWindowEnabled(child) != FALSE)
                          .Bool("default", (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON));
  }
  bool icon = false;
  for (HWND child : ChildrenOf(box)) icon = icon || IsIconStatic(child);
  return WindowJson(box)
      .Str("text", MessageBoxText(box))
      .Bool("icon", icon)
      .Bool("foreground", GetForegroundWindow() == box)
      .Array("buttons", buttons);
}

}  // namespace qv::ui
