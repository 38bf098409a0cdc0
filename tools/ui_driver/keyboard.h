// Keys for the UI driver, delivered as a user types them, and the keyboard focus of a window's
// thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/ui_driver/json_line.h"

namespace qv::ui {

// One key with the modifiers held while it is pressed.
struct CKeyStroke {
  WORD m_nVk = 0;
  bool m_bShift = false;
  bool m_bAlt = false;
};

// "tab", "shift+tab", "space", "return" ("enter"), "escape" ("esc"), "alt+<letter or digit>",
// "up", "down", "left", "right", "home", "end"; false for any other name.
bool ParseKeyName(const std::wstring& name, CKeyStroke* key);

enum class KeyDelivery {
  kInput,  // SendInput to the foreground window, after making the dialog the foreground window
  kPost,   // WM_KEYDOWN/WM_CHAR/WM_KEYUP posted to the focused control of the dialog's thread
};

// The focused window of the dialog's thread (GetGUIThreadInfo), or null.
HWND FocusOf(HWND dialog);

// Delivers the key to the dialog and waits until its thread is back in its message loop, so
// that whatever the key did has been done. False when the key could not be delivered (with
// kInput: the dialog did not become the foreground window).
bool DeliverKey(HWND dialog, const CKeyStroke& key, KeyDelivery how, std::string* failure);

// The focus of the dialog's thread: hwnd, id (-1 outside the dialog), class, and the dialog's
// foreground and active state.
CJsonObject FocusJson(HWND dialog);

}  // namespace qv::ui
