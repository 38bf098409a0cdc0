// Driver detection reads the file system and the configuration through the portable decisions;
// installation starts the installer and waits for it while the dialog's thread keeps running.
#include "bootstrap/provisioning/driver_mgr.h"

#include <shlobj.h>

#include "bootstrap/app.h"
#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/driver_decisions.h"
#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/provisioning/support.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "common/win/handles.h"

using namespace qv::bootstrap;

namespace {

CUSBAutoRunDlg* MainDialog() { return TheApp().m_pMainWnd; }

bool FileExists(const std::wstring& path) { return IsExistFile(path) != 0; }

// Reads a driver key online from the downloaded server configuration, offline from config.ini.
std::wstring ReadDriverKey(CUSBAutoRunDlg& dialog, bool online, const std::wstring& key) {
  std::wstring file = online ? dialog.m_strServerConfigFile : dialog.m_strModulePath + L"config.ini";
  return ReadIniString(file, DriverVersionSection(online), key);
}

// The phone's driver installer, relative to the phone drive's root and, once copied, to the
// program's folder. A name that leaves those folders or names a device counts as none.
std::wstring ReadPreloadName(CUSBAutoRunDlg& dialog) {
  std::wstring preload = dialog.GetConfigString(L"DRIVER", L"preload");
  return IsSafePackageFileName(preload) ? preload : std::wstring();
}

// The system's installer by its full path: a bare name could be found in the working folder,
// which holds downloaded files, and would then run with the program's rights. Empty when the
// system folder is unknown, so that nothing starts.
std::wstring SystemMsiexecPath() {
  wchar_t folder[MAX_PATH] = {};
  UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(folder, length) + L"\\" + kMsiexec;
}

// Waits for an installer while still handing out input messages, so the waiting thread never
// blocks windows that share its input.
void WaitForInstaller(const SHELLEXECUTEINFOW& started) {
  if (!started.hProcess) return;
  HANDLE process = started.hProcess;
  ::MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON);
  ::CloseHandle(process);
}

}  // namespace

CDriverMgr::CDriverMgr() {
  wchar_t folder[MAX_PATH] = {};
  if (::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE)) m_strProgramFiles = folder;
}

std::wstring CDriverMgr::GetDriverFolder(int type) const { return qv::bootstrap::GetDriverFolder(m_strProgramFiles, type); }

BOOL CDriverMgr::IsDriverPairMissing(const std::wstring& folder, const std::wstring& name32,
                                     const std::wstring& name64) const {
  return qv::bootstrap::IsDriverPairMissing(folder, name32, name64, FileExists) ? TRUE : FALSE;
}

BOOL CDriverMgr::IsInstalledDriver(int type) {
  WriteTraceLog(L"[IsInstalledDriver()] START..............\r\n");
  if (m_strProgramFiles.empty()) return FALSE;
  InstalledDriverCheck check = CheckInstalledDriver(m_strProgramFiles, type, FileExists);
  for (const DriverFolderCount& pass : check.passes) {
    WriteTraceLog(FormatText(L"IsInstalledDriver:\t[%ls][%d]\n", pass.strFolder.c_str(), pass.nMissing));
  }
  WriteTraceLog(L"[IsInstalledDriver()] END..............\r\n");
  return check.bInstalled ? TRUE : FALSE;
}

BOOL CDriverMgr::IsAnySeparateDriverInstalled() {
  return qv::bootstrap::IsAnySeparateDriverInstalled([this](int type) { return IsInstalledDriver(type) != 0; }) ? TRUE
                                                                                                               : FALSE;
}

BOOL CDriverMgr::IsCurrentDriverInstalled() {
  return IsInstalledDriver(CurrentDriverType(IsConnectedInternet() != 0, m_nPreloadType));
}

BOOL CDriverMgr::IsDriverVersionOutdated(int type, BOOL online) {
  CUSBAutoRunDlg* dialog = MainDialog();
  if (!dialog) return FALSE;
  auto readKey = [&](const std::wstring& key) { return ReadDriverKey(*dialog, online != 0, key); };
  auto fileVersion = [](const std::wstring& path) { return GetFileVersionString(path); };
  return qv::bootstrap::IsDriverVersionOutdated(type, GetDriverFolder(type), readKey, FileExists, fileVersion) ? TRUE
                                                                                                             : FALSE;
}

BOOL CDriverMgr::IsRequireUpDrv() {
  WriteTraceLog(L"[IsRequireUpDrv()] START..............\r\n");
  bool online = IsConnectedInternet() != 0;
  CUSBAutoRunDlg* dialog = MainDialog();
  bool overwrite = dialog && IsFlagTrue(ReadIniString(dialog->m_strServerConfigFile, L"FILES_DRIVER", L"unison_overwrite"));
  DriverQueries queries{[this](int type) { return IsInstalledDriver(type) != 0; },
                        [this](int type, bool isOnline) { return IsDriverVersionOutdated(type, isOnline) != 0; }};
  return DecideRequireUpDrv(online, m_nPreloadType, overwrite, queries) ? TRUE : FALSE;
}

std::wstring CDriverMgr::GetPreloadDriver() {
  CUSBAutoRunDlg* dialog = MainDialog();
  if (!dialog) return std::wstring();
  WriteTraceLog(FormatText(L"GetPreloadDriver ExePath = [%ls]\r\n", dialog->m_strModulePath.c_str()));
  std::wstring preload = ReadPreloadName(*dialog);
  if (preload.empty()) {
    WriteTraceLog(L"This device not support preload driver\r\n");
    return std::wstring();
  }
  std::wstring preloadType = dialog->GetConfigString(L"DRIVER", L"preload_type");
  if (IsUnisonPreloadText(preloadType)) dialog->m_strPreloadType = kUnisonPreloadType;
  std::wstring path = dialog->m_strModulePath + preload;
  WriteTraceLog(FormatText(L"Preload Driver[%ls], Type[%ls]\r\n", preload.c_str(), preloadType.c_str()));
  WriteTraceLog(FormatText(L"Path to copy preload driver[%ls]\r\n", path.c_str()));
  m_nPreloadType = PreloadTypeFromText(preloadType, m_nPreloadType);
  return path;
}

BOOL CDriverMgr::CopyPreloadDriver(const std::wstring& target) {
  if (target.empty()) return FALSE;
  CUSBAutoRunDlg* dialog = MainDialog();
  const std::wstring& drive = TheApp().m_strLaunchDrive;
  if (drive.empty() || !dialog) {
    WriteTraceLog(L"Failed to get drive path\r\n");
    return FALSE;
  }
  std::wstring root = FormatDriveRoot(drive[0]);
  WriteTraceLog(FormatText(L"GetPreloadDriver ExePath = [%ls]\r\n", root.c_str()));
  std::wstring preload = ReadPreloadName(*dialog);
  std::wstring source = root + preload;
  WriteTraceLog(FormatText(L"Copy Preload Driver Path = [%ls]\r\n", source.c_str()));
  // Nothing is written through a link in the program's folder.
  if (!preload.empty() && IsFreeOfLinks(dialog->m_strModulePath, preload) && CopyFileOverwrite(source, target)) {
    WriteTraceLog(L"Copy Preload Driver - OK\r\n");
    return TRUE;
  }
  WriteTraceLog(FormatText(L"CopyFile Failed Src[%ls], Target[%ls]\r\n", source.c_str(), target.c_str()));
  return FALSE;
}

SHELLEXECUTEINFOW CDriverMgr::RunInstaller(const std::wstring& path, const std::wstring& option, BOOL msi) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"open";
  info.nShow = SW_SHOWNORMAL;
  try {
    std::wstring parameters = msi ? FormatMsiexecParameters(option, path) : std::wstring();
    std::wstring msiexec = msi ? SystemMsiexecPath() : std::wstring();
    std::wstring folder = FolderOfPath(path);
    info.lpFile = msi ? msiexec.c_str() : path.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH - 1, current);
    WriteTraceLog(FormatText(L"Install Driver Full Path Name = %ls\n", path.c_str()));
    ::ShellExecuteExW(&info);
    ::SetCurrentDirectoryW(current);
  } catch (...) {
    WriteTraceLog(L"*** Exception Run Installer ***\r\n");
  }
  // The texts the structure pointed to are gone; only the process handle is for the caller.
  info.lpFile = info.lpParameters = info.lpDirectory = nullptr;
  return info;
}

BOOL CDriverMgr::InstallDriver() {
  CUSBAutoRunDlg* dialog = MainDialog();
  if (!dialog) {
    WriteTraceLog(L"[CDriverMgr::InstallDriver()] pDlg NULL.............\r\n");
    return FALSE;
  }
  std::wstring installer;
  switch (ChooseDriverInstaller(IsConnectedInternet() != 0, dialog->m_bPreloadSame != 0, dialog->m_strPreloadDriver)) {
    case DriverInstallerSource::Server:
      WriteTraceLog(L"Driver install from server\r\n");
      installer = dialog->m_strDriverPath;
      break;
    case DriverInstallerSource::Preload:
      if (!CopyPreloadDriver(dialog->m_strPreloadDriver)) return FALSE;
      installer = dialog->m_strPreloadDriver;
      break;
    case DriverInstallerSource::None:
      return FALSE;
  }
  WriteTraceLog(L"[CUSBAutoRunDlg::InstallDriver()] START.............\r\n");
  if (!IsUsableInstallerPath(installer)) {
    WriteTraceLog(L"[InstallDriver : strDrvPath.IsEmpty()] return code : TRUE\r\n");
    return FALSE;
  }
  // An installer in a folder that is a link, or that is one itself, is not started.
  const std::wstring installerFolder = FolderOfPath(installer);
  if (!IsExistFile(installer) || !IsFreeOfLinks(installerFolder, installer.substr(installerFolder.size() + 1))) {
    WriteTraceLog(FormatText(L"Drv Setup Filename : %ls\n", installer.c_str()));
    WriteTraceLog(L"[InstallDriver : IsExistFile(strPath)] return code : FALSE\r\n");
    return FALSE;
  }
  BOOL msi = IsMsiPackage(installer) ? TRUE : FALSE;
  WriteTraceLog(L"[InstallDriver : MsgWaitForMultipleObjects 1]\r\n");
  if (msi) WaitForInstaller(RunInstaller(installer, kMsiRemove, TRUE));
  WriteTraceLog(L"[InstallDriver : MsgWaitForMultipleObjects 2]\r\n");
  WaitForInstaller(RunInstaller(installer, kMsiInstall, msi));
  WriteTraceLog(L"[InstallDriver : MsgWaitForMultipleObjects ENd]\r\n");
  BOOL installed = IsCurrentDriverInstalled();
  dialog->SetForegroundWindow();
  if (!installed) {
    WriteTraceLog(L"[InstallDriver()] IsInstalledDriver() return code : FALSE\r\n");
    return FALSE;
  }
  WriteTraceLog(L"[CUSBAutoRunDlg::InstallDriver()] END.............\r\n");
  return TRUE;
}
