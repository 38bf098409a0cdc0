// Keys delivered so that the dialog manager of the program under test handles them as typed
// keys: either as real keyboard input to the foreground window, or posted into the dialog
// thread's queue, where its message loop (IsDialogMessage, TranslateMessage) takes them.
#include "tools/ui_driver/keyboard.h"

#include <cwctype>

#include "tools/ui_driver/window_query.h"

namespace qv::ui {
namespace {

constexpr DWORD kForegroundWaitMs = 2000;
constexpr DWORD kSettleMs = 30;
constexpr UINT kSyncTimeoutMs = 5000;

struct CNamedKey {
  const wchar_t* m_szName;
  WORD m_nVk;
};

constexpr CNamedKey kNamedKeys[] = {
    {L"tab", VK_TAB},     {L"space", VK_SPACE}, {L"return", VK_RETURN}, {L"enter", VK_RETURN},
    {L"escape", VK_ESCAPE}, {L"esc", VK_ESCAPE}, {L"up", VK_UP},       {L"down", VK_DOWN},
    {L"left", VK_LEFT},   {L"right", VK_RIGHT}, {L"home", VK_HOME},     {L"end", VK_END},
};

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// Waits until the dialog's thread has taken what was queued and is back in its message loop: a
// sent message is handled only there, so its answer comes after the key's handling is done.
void SettleThreadOf(HWND dialog) {
  for (int round = 0; round < 2; ++round) {
    Sleep(kSettleMs);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSyncTimeoutMs, &ignored);
  }
}

LPARAM KeyParam(WORD vk, bool up, bool alt) {
  LPARAM param = 1 | (static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16);
  if (alt) param |= 1L << 29;  // the context bit: Alt is held
  if (up) param |= (1L << 30) | (1L << 31);
  return param;
}

void AddInput(std::vector<INPUT>* inputs, WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  inputs->push_back(input);
}

bool MakeForeground(HWND dialog) {
  if (GetForegroundWindow() == dialog) return true;
  SetForegroundWindow(dialog);
  const ULONGLONG end = GetTickCount64() + kForegroundWaitMs;
  while (GetForegroundWindow() != dialog) {
    if (GetTickCount64() >= end) return false;
    Sleep(10);
  }
  return true;
}

bool InjectKey(HWND dialog, const CKeyStroke& key, std::string* failure) {
  if (!MakeForeground(dialog)) {
    *failure = "the dialog did not become the foreground window";
    return false;
  }
  std::vector<INPUT> inputs;
  if (key.m_bShift) AddInput(&inputs, VK_SHIFT, false);
  if (key.m_bAlt) AddInput(&inputs, VK_MENU, false);
  AddInput(&inputs, key.m_nVk, false);
  AddInput(&inputs, key.m_nVk, true);
  if (key.m_bAlt) AddInput(&inputs, VK_MENU, true);
  if (key.m_bShift) AddInput(&inputs, VK_SHIFT, true);
  if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
    *failure = "SendInput refused the input";
    return false;
  }
  return true;
}

// Posted keys do not change the thread's key state, which the dialog manager reads for Shift
// (Shift+Tab goes backwards): the driver shares the dialog thread's input state for as long as
// the key is handled and holds Shift down in it.
class CHeldShift {
 public:
  CHeldShift(DWORD targetThread, bool hold) : m_nTarget(targetThread) {
    if (!hold || !AttachThreadInput(GetCurrentThreadId(), m_nTarget, TRUE)) return;
    m_bAttached = true;
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_SHIFT] |= 0x80;
    state[VK_LSHIFT] |= 0x80;
    SetKeyboardState(state);
  }
  ~CHeldShift() {
    if (!m_bAttached) return;
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_SHIFT] &= 0x7F;
    state[VK_LSHIFT] &= 0x7F;
    SetKeyboardState(state);
    AttachThreadInput(GetCurrentThreadId(), m_nTarget, FALSE);
  }
  CHeldShift(const CHeldShift&) = delete;
  CHeldShift& operator=(const CHeldShift&) = delete;

 private:
  DWORD m_nTarget;
  bool m_bAttached = false;
};

bool PostKey(HWND dialog, const CKeyStroke& key, std::string* failure) {
  HWND focus = FocusOf(dialog);
  HWND target = focus && (focus == dialog || IsChild(dialog, focus)) ? focus : dialog;
  CHeldShift shift(GetWindowThreadProcessId(dialog, nullptr), key.m_bShift);
  // Alt+key comes as WM_SYSKEYDOWN; the loop's TranslateMessage makes the WM_SYSCHAR that the
  // dialog manager matches against the controls' mnemonics, and WM_CHAR for typing keys.
  const UINT down = key.m_bAlt ? WM_SYSKEYDOWN : WM_KEYDOWN;
  const UINT up = key.m_bAlt ? WM_SYSKEYUP : WM_KEYUP;
  if (!PostMessageW(target, down, key.m_nVk, KeyParam(key.m_nVk, false, key.m_bAlt)) ||
      !PostMessageW(target, up, key.m_nVk, KeyParam(key.m_nVk, true, key.m_bAlt))) {
    *failure = "post failed";
    return false;
  }
  SettleThreadOf(dialog);  // while Shift is still held for the thread
  return true;
}

}  // namespace

bool ParseKeyName(const std::wstring& name, CKeyStroke* key) {
  std::wstring rest = Lower(name);
  *key = CKeyStroke();
  for (;;) {
    if (rest.compare(0, 6, L"shift+") == 0) {
      key->m_bShift = true;
      rest.erase(0, 6);
    } else if (rest.compare(0, 4, L"alt+") == 0) {
      key->m_bAlt = true;
      rest.erase(0, 4);
    } else {
      break;
    }
  }
  for (const CNamedKey& named : kNamedKeys) {
    if (rest == named.m_szName) {
      key->m_nVk = named.m_nVk;
      return true;
    }
  }
  if (rest.size() == 1 && ((rest[0] >= L'a' && rest[0] <= L'z') || (rest[0] >= L'0' && rest[0] <= L'9'))) {
    key->m_nVk = static_cast<WORD>(std::towupper(rest[0]));  // the virtual key of a letter or digit
    return true;
  }
  return false;
}

HWND FocusOf(HWND dialog) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

bool DeliverKey(HWND dialog, const CKeyStroke& key, KeyDelivery how, std::string* failure) {
  if (how == KeyDelivery::kPost) return PostKey(dialog, key, failure);
  if (!InjectKey(dialog, key, failure)) return false;
  SettleThreadOf(dialog);
  return true;
}

CJsonObject FocusJson(HWND dialog) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  const bool known = GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) != FALSE;
  HWND focus = known ? info.hwndFocus : nullptr;
  const bool inDialog = focus && IsChild(dialog, focus);
  CJsonObject json;
  json.Int("hwnd", reinterpret_cast<INT_PTR>(focus)).Int("id", inDialog ? GetDlgCtrlID(focus) : -1);
  if (focus) {
    json.Str("class", ClassOf(focus));
  } else {
    json.Null("class");
  }
  return json.Bool("in_dialog", inDialog)
      .Bool("active", known && info.hwndActive == dialog)
      .Bool("foreground", GetForegroundWindow() == dialog);
}

}  // namespace qv::ui
