// Driver detection reads the file system and the run's configuration through the portable
// decisions. The installation's sequence is the workflow's (InstallDriverPackage); here an
// installer is started and waited for on the worker, while the dialog's thread keeps running.
#include "bootstrap/provisioning/driver_mgr.h"

#include <shlobj.h>

#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/driver_decisions.h"
#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/workflow.h"
#include "bootstrap/provisioning/connectivity.h"
#include "bootstrap/provisioning/files.h"
#include "bootstrap/provisioning/trace_log.h"
#include "common/win/handles.h"

using namespace qv::bootstrap;

namespace {

bool FileExists(const std::wstring& path) { return IsExistFile(path) != 0; }

// Reads a driver key online from the downloaded server configuration, offline from config.ini.
std::wstring ReadDriverKey(const IDriverRun& run, bool online, const std::wstring& key) {
  const std::wstring section = DriverVersionSection(online);
  return online ? ReadIniString(run.GetServerConfigFile(), section, key) : run.GetConfigString(section, key);
}

// The phone's driver installer, relative to the phone drive's root and, once copied, to the
// program's folder. A name that leaves those folders or names a device counts as none.
std::wstring ReadPreloadName(const IDriverRun& run) {
  std::wstring preload = run.GetConfigString(L"DRIVER", L"preload");
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

// Waits for an installer to end, at most kInstallerWaitMs. The wait also ends when keyboard or
// mouse input reaches this thread's queue; the worker that installs owns no window, so in practice
// it ends with the installer, or at the time limit.
qv::bootstrap::InstallerRun WaitForInstaller(const qv::ProcessStart& started) {
  qv::bootstrap::InstallerRun run;
  run.started = started.started;
  run.error = started.error;
  HANDLE process = started.process.get();
  if (!process) return run;
  if (::MsgWaitForMultipleObjects(1, &process, FALSE, qv::bootstrap::kInstallerWaitMs,
                                  QS_KEY | QS_MOUSEMOVE | QS_MOUSEBUTTON) == WAIT_OBJECT_0) {
    DWORD exitCode = 0;
    run.ended = ::GetExitCodeProcess(process, &exitCode) != FALSE && exitCode != STILL_ACTIVE;
    run.exitCode = exitCode;
  }
  return run;
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
    WriteTraceLog(FormatText(L"IsInstalledDriver:\t[%ls][%d]\n", pass.folder.c_str(), pass.missing));
  }
  WriteTraceLog(L"[IsInstalledDriver()] END..............\r\n");
  return check.installed ? TRUE : FALSE;
}

BOOL CDriverMgr::IsAnySeparateDriverInstalled() {
  return qv::bootstrap::IsAnySeparateDriverInstalled([this](int type) { return IsInstalledDriver(type) != 0; }) ? TRUE
                                                                                                               : FALSE;
}

BOOL CDriverMgr::IsCurrentDriverInstalled() {
  return IsInstalledDriver(CurrentDriverType(IsConnectedInternet() != 0, m_nPreloadType));
}

BOOL CDriverMgr::IsDriverVersionOutdated(int type, BOOL online) {
  if (!m_pRun) return FALSE;
  auto readKey = [&](const std::wstring& key) { return ReadDriverKey(*m_pRun, online != 0, key); };
  auto fileVersion = [](const std::wstring& path) { return GetFileVersionString(path); };
  return qv::bootstrap::IsDriverVersionOutdated(type, GetDriverFolder(type), readKey, FileExists, fileVersion) ? TRUE
                                                                                                             : FALSE;
}

BOOL CDriverMgr::IsRequireUpDrv() {
  return m_pRun && qv::bootstrap::IsDriverDue(m_pRun->Pc(), m_pRun->GetServerConfigFile()) ? TRUE : FALSE;
}

std::wstring CDriverMgr::GetPreloadDriver() {
  if (!m_pRun) return std::wstring();
  const std::wstring programFolder = m_pRun->GetProgramFolder();
  WriteTraceLog(FormatText(L"GetPreloadDriver ExePath = [%ls]\r\n", programFolder.c_str()));
  std::wstring preload = ReadPreloadName(*m_pRun);
  if (preload.empty()) {
    WriteTraceLog(L"This device not support preload driver\r\n");
    return std::wstring();
  }
  std::wstring preloadType = m_pRun->GetConfigString(L"DRIVER", L"preload_type");
  if (IsUnisonPreloadText(preloadType)) m_pRun->SetUnisonPreload();
  std::wstring path = programFolder + preload;
  WriteTraceLog(FormatText(L"Preload Driver[%ls], Type[%ls]\r\n", preload.c_str(), preloadType.c_str()));
  WriteTraceLog(FormatText(L"Path to copy preload driver[%ls]\r\n", path.c_str()));
  m_nPreloadType = PreloadTypeFromText(preloadType, m_nPreloadType);
  return path;
}

qv::bootstrap::DriverPackage CDriverMgr::PackageOfRun() const {
  qv::bootstrap::DriverPackage package;
  if (!m_pRun) return package;
  package.preloadSame = m_pRun->IsPreloadDriverSame() != 0;
  package.preloadDriver = m_pRun->GetPreloadDriverPath();
  package.serverDriver = m_pRun->GetServerDriverPath();
  package.launchDrive = m_pRun->GetLaunchDrive();
  package.preloadName = ReadPreloadName(*m_pRun);
  package.programFolder = m_pRun->GetProgramFolder();
  package.preloadType = m_nPreloadType;
  return package;
}

BOOL CDriverMgr::CopyPreloadDriver(const std::wstring& target) {
  return m_pRun && qv::bootstrap::CopyPreloadDriver(m_pRun->Pc(), PackageOfRun(), target) ? TRUE : FALSE;
}

qv::ProcessStart CDriverMgr::RunInstaller(const std::wstring& path, const std::wstring& option, BOOL msi) {
  try {
    WriteTraceLog(FormatText(L"Install Driver Full Path Name = %ls\n", path.c_str()));
    const std::wstring program = msi ? SystemMsiexecPath() : path;
    if (program.empty()) return qv::ProcessStart{false, ERROR_PATH_NOT_FOUND, {}};
    return qv::StartProcess(program, msi ? FormatMsiexecParameters(option, path) : std::wstring(), FolderOfPath(path));
  } catch (...) {
    WriteTraceLog(L"*** Exception Run Installer ***\r\n");
    return qv::ProcessStart{false, ERROR_OUTOFMEMORY, {}};
  }
}

qv::bootstrap::InstallerRun CDriverMgr::RunInstallerToEnd(const std::wstring& path, const std::wstring& option,
                                                          BOOL msi) {
  return WaitForInstaller(RunInstaller(path, option, msi));
}

BOOL CDriverMgr::InstallDriver() {
  if (!m_pRun) {
    WriteTraceLog(L"[CDriverMgr::InstallDriver()] pDlg NULL.............\r\n");
    return FALSE;
  }
  return qv::bootstrap::InstallDriverPackage(m_pRun->Pc(), m_pRun->View(), PackageOfRun()) ? TRUE : FALSE;
}
