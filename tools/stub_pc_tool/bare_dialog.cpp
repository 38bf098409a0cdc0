// The floor of a dialog program's start under Wine, for the plug-in timing view: a program of the
// bootstrap's kind (GUI subsystem, Common Controls 6 by its manifest, the same system libraries)
// that creates one hidden dialog with the system's dialog font and ends as the dialog opens. It
// does nothing of its own, so its start is what Wine takes to start such a program and end it.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

namespace {

// A dialog template in memory: no controls, with a font of its own (DS_SETFONT) as the bootstrap's
// dialogs have.
struct alignas(4) DialogTemplate {
  DLGTEMPLATE header;
  WORD menu = 0, windowClass = 0, title = 0;
  WORD pointSize = 8;
  wchar_t face[13] = L"MS Shell Dlg";
};

INT_PTR CALLBACK EndAtOnce(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  ::EndDialog(dialog, 0);
  return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  wchar_t folder[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, CSIDL_TEMPLATES, nullptr, SHGFP_TYPE_CURRENT, folder);  // as every start reads it
  DialogTemplate dialog{};
  dialog.header.style = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION;
  dialog.header.cx = 200;
  dialog.header.cy = 100;
  return static_cast<int>(::DialogBoxIndirectParamW(instance, &dialog.header, nullptr, EndAtOnce, 0));
}
