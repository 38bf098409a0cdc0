// Starts the PC tool from the package folder with the phone's drive, model type and model name.
#include <windows.h>
#include <shellapi.h>

#include "bootstrap/app.h"
#include "bootstrap/core/package_rules.h"
#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/provisioning/support.h"
#include "bootstrap/usb_autorun_dlg.h"

BOOL CUSBAutoRunDlg::RunPXPC() {
  WriteTraceLog(L"[RunPXPC()] START.............\r\n");
  // A configured name that leaves the package folder or names a device counts as none.
  if (m_strPxpcName.empty() || !qv::bootstrap::IsSafePackageFileName(m_strPxpcName)) {
    WriteTraceLog(L"[RunPXPC()] PXPCFilename is Empty........\r\n");
    return 0;
  }
  std::wstring base = GetBaseFolder();
  if (base.empty()) {
    WriteTraceLog(L"[RunPXPC()] SHGetSpecialFolderPath is failed........\r\n");
    return 0;
  }
  const std::wstring packageFolder = qv::bootstrap::PackageFolderIn(base);
  std::wstring executable = packageFolder + m_strPxpcName;
  std::wstring arguments = qv::bootstrap::FormatPxpcArguments(m_strPhoneDrive, m_strModelType, g_strAppTitle);
  std::wstring workFolder = qv::bootstrap::FolderOfPath(executable);
  WriteTraceLog(FormatText(L"[RunPXPC()] Exe File = (%ls)\n", executable.c_str()));
  WriteTraceLog(FormatText(L"[RunPXPC()] Work Path = (%ls)\n", workFolder.c_str()));
  // A package folder or tool that is a link is not started, as if the start had failed; nor is a
  // tool without the maker's signature when the phone asks for one (checked before every start:
  // the copy in the profile can be replaced at any time). It is held, so that it cannot change,
  // until it has started.
  HINSTANCE started = nullptr;
  if (IsFreeOfLinks(base, executable.substr(base.size() + 1))) {
    qv::CHeldFile held;
    if (HoldIfSignedByMaker(executable, held)) {
      started = ::ShellExecuteW(nullptr, L"open", executable.c_str(), arguments.c_str(), workFolder.c_str(),
                                SW_SHOWNORMAL);
    }
  }
  if (static_cast<int>(reinterpret_cast<INT_PTR>(started)) <= 32) {
    WriteTraceLog(L"[RunPXPC()] END - Failed to run PXPC.............\r\n");
    return 0;
  }
  WriteTraceLog(L"[RunPXPC()] END.............\r\n");
  return 1;
}
