// Modal dialog base: the object travels through the creation parameter into DWLP_USER, messages
// reach member functions through a small message map, and the modal loop is our own so that a
// dialog can look at every message first (PreTranslateMessage) and can stay hidden while modal.
#pragma once

#include <windows.h>

#include "common/win/ui/window.h"

namespace qv::ui {

class CDialogBase : public CWindow {
 public:
  // |resources| is the module that holds the template and its pictures: null for the program
  // itself, a library's own module for a library's dialogs.
  explicit CDialogBase(UINT templateId, HWND parent = nullptr, HINSTANCE resources = nullptr)
      : m_nTemplateId(templateId), m_hParent(parent), m_hResources(resources) {}
  virtual ~CDialogBase();
  CDialogBase(const CDialogBase&) = delete;
  CDialogBase& operator=(const CDialogBase&) = delete;

  // Creates the dialog, shows it unless it asked to stay hidden, and runs its messages until
  // EndDialog. Returns EndDialog's result, or -1 when the template cannot be created.
  INT_PTR DoModal();
  void EndDialog(INT_PTR result);
  bool IsEnded() const { return m_bEnded; }

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // TRUE swallows the message before the dialog manager sees it.
  virtual BOOL PreTranslateMessage(MSG* /*message*/) { return FALSE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The message map (see the macros below): true when handled, |result| being the value the
  // message expects.
  virtual bool ProcessMessage(UINT /*message*/, WPARAM, LPARAM, INT_PTR& /*result*/) { return false; }
  // A key-down of Return or Escape, which the dialog manager would turn into OK or Cancel.
  static BOOL IsReturnOrEscape(const MSG* message) {
    return message->message == WM_KEYDOWN && (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE);
  }
  // Keeps the modal loop from showing the window after initialisation.
  void KeepHidden() { m_bKeepHidden = true; }
  // Makes the dialog per-monitor DPI aware whatever the program that shows it declared: for a
  // library's dialogs, which cannot declare it themselves.
  void UsePerMonitorDpi() { m_bPerMonitorDpi = true; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  UINT m_nTemplateId;
  HWND m_hParent;
  HINSTANCE m_hResources;
  bool m_bEnded = false;
  bool m_bKeepHidden = false;
  bool m_bPerMonitorDpi = false;
  INT_PTR m_nResult = 0;
};

// A dialog that Return, Escape, OK and Cancel never close: only its own code ends it.
class CKeepOpenDialog : public CDialogBase {
 public:
  using CDialogBase::CDialogBase;

 protected:
  BOOL PreTranslateMessage(MSG* message) override { return IsReturnOrEscape(message); }
  void OnOK() override {}
  void OnCancel() override {}
};

}  // namespace qv::ui

// Message map of a dialog class, in the order messages should be tried.
#define QV_BEGIN_MSG_MAP()                                                                          \
  bool ProcessMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override {         \
    (void)wParam;                                                                                   \
    (void)lParam;
// handler: INT_PTR Handler(WPARAM, LPARAM)
#define QV_MESSAGE(msg, handler)   \
  if (uMsg == (msg)) {             \
    result = handler(wParam, lParam); \
    return true;                   \
  }
// handler: void Handler(), for a button's click
#define QV_BUTTON_CLICKED(id, handler)                                              \
  if (uMsg == WM_COMMAND && LOWORD(wParam) == (id) && HIWORD(wParam) == BN_CLICKED) { \
    handler();                                                                       \
    result = 0;                                                                      \
    return true;                                                                     \
  }
// handler: void Handler(WPARAM, LPARAM), which runs before the dialog manager's own handling
#define QV_MESSAGE_THEN_DEFAULT(msg, handler) \
  if (uMsg == (msg)) {                        \
    handler(wParam, lParam);                  \
    return false;                             \
  }
#define QV_END_MSG_MAP() \
  return false;          \
  }
