// The phone start's copy of the installation package into the PC folder named after the phone's
// drive letter, and the relaunch of that copy with "-l" and the letter, on the workflow's PC.
#include "bootstrap/core/workflow.h"
#include "bootstrap/provisioning/windows_pc.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "bootstrap/view/init_dlg.h"

int CopyInstallPackage(CInitDlg& caller) {
  CUSBAutoRunDlg phone;  // never shown: only its view of where the program runs from
  const std::wstring source = phone.GetModulePath();
  const qv::SignaturePolicy nothingStarted;  // the copy starts no tool and installs nothing
  CWindowsPc pc(nullptr, nothingStarted);
  auto readConfig = [&phone](const std::wstring& key) { return phone.GetConfigString(L"FILES", key); };
  auto showMessage = [&caller](const std::wstring& text) {
    ::MessageBoxW(caller.GetSafeHwnd(), text.c_str(), caller.m_strCaption.c_str(), MB_ICONEXCLAMATION | MB_OK);
  };
  return qv::bootstrap::CopyPackageToPc(pc, source, phone.m_strModuleName, readConfig, showMessage);
}
