// Program entry and the application object: caption, window class, application mutex, the
// command line's "-l" switch and the modal run of the main dialog.
#include "bootstrap/app.h"

#include <commctrl.h>

#include <cwchar>

#include "bootstrap/config.h"
#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/version_text.h"
#include "common/win/version_resource.h"
#include "bootstrap/provisioning/trace_log.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "common/core/command_line.h"

using namespace qv::bootstrap;

std::wstring g_strAppTitle;

namespace {

CUSBAutoRunApp g_theApp;

// The last visible top-level window whose title holds the caption and that is not of our own
// registered class: the dialog of another running instance.
BOOL CALLBACK EnumOtherAutoRunProc(HWND window, LPARAM result) {
  wchar_t title[120] = {};
  ::GetWindowTextW(window, title, 120);
  if (std::wcsstr(title, g_strAppTitle.c_str()) == nullptr) return TRUE;
  wchar_t className[260] = {};
  ::GetClassNameW(window, className, 260);
  if (std::wcscmp(className, kAppWindowClass) != 0) *reinterpret_cast<HWND*>(result) = window;
  return TRUE;
}

}  // namespace

CUSBAutoRunApp& TheApp() { return g_theApp; }

BOOL CUSBAutoRunApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  LaunchContext launch;
  ReadModulePath(launch.moduleFolder, launch.moduleName);
  const std::wstring arguments = qv::SkipProgramName(::GetCommandLineW());
  const LaunchCommand command = ParseLaunchCommand(arguments);
  // A PC start reads its configuration only while it is held and proven the phone's.
  if (!command.cmdLine.empty()) HoldPcStartConfig(launch.moduleFolder, command.launchDrive);
  g_strAppTitle = AppTitleOrDefault(ReadConfigString(launch.moduleFolder, L"PXPACKAGE", L"model_name"));

  // Our own class name, with the attributes of the system's dialog class, marks windows the
  // search for another instance must pass over.
  WNDCLASSW windowClass{};
  if (::GetClassInfoW(nullptr, MAKEINTRESOURCEW(0x8002), &windowClass)) {
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kAppWindowClass;
    ::RegisterClassW(&windowClass);
  }

  m_hAppMutex.reset(::CreateMutexW(nullptr, TRUE, kAppMutexName));
  HWND other = nullptr;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::EnumWindows(EnumOtherAutoRunProc, reinterpret_cast<LPARAM>(&other));
    if (other && !::IsWindowVisible(other)) other = nullptr;
  }

  m_strCmdLine = command.cmdLine;
  m_strLaunchDrive = command.launchDrive;
  if (command.invalid) {
    TracedMessageBox(nullptr, L"Failed to run QV Autorun in system.\nInvalid parameter to run QV Autorun.\n[003]",
                     g_strAppTitle);
    return FALSE;
  }
  launch.cmdLine = m_strCmdLine;
  launch.launchDrive = m_strLaunchDrive;
  launch.caption = g_strAppTitle;
  launch.version = GetProgramVersion();
  CUSBAutoRunDlg dialog(std::move(launch));
  dialog.m_hOtherAutoRun = other;
  m_pMainWnd = &dialog;
  dialog.DoModal();
  dialog.WaitForWorker();  // its last trace lines still reach the dialog's log file
  m_pMainWnd = nullptr;
  // The run ends here, for the phone start and the PC start alike; entries after this go to the
  // debugger only. Only here: other dialog objects (the copy's, which reads where the program
  // runs from) come and go in the middle of a run.
  CTraceLogFile::Shared().Stop();
  return FALSE;
}

int CUSBAutoRunApp::ExitInstance() {
  if (m_hAppMutex) ::ReleaseMutex(m_hAppMutex.get());
  m_hAppMutex.reset();
  return 0;
}

std::wstring CUSBAutoRunApp::GetProgramVersion() {
  if (!m_strFileVersion.empty()) return m_strFileVersion;
  qv::CVersionResource resource;
  if (!resource.LoadOwnProgram()) return m_strFileVersion;
  // The table of a resource that lists exactly one, else the user's language in Unicode.
  const std::vector<uint32_t> tables = resource.Translations();
  const uint32_t table = tables.size() == 1 ? tables.front() : MakeTranslation(::GetUserDefaultLangID(), kUnicodeCodePage);
  m_strFileVersion = resource.String(table, L"FileVersion").substr(0, 255);
  return m_strFileVersion;
}

namespace {

// Libraries that anything in this process loads by name from now on come from the system folder
// only: not the program's own folder, where any program of the user can put a library under a
// system library's name (system libraries load others by name: the shell loads version.dll), and
// not the current folder or the PATH. The program's own libraries (the device library, the
// update client) are loaded by their full paths. Systems without the call (before
// its 2011 update) at least drop the current folder.
void RestrictLibrarySearch() {
  using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto restrict = kernel ? reinterpret_cast<SetDefaultDllDirectoriesProc>(reinterpret_cast<void*>(
                                     ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                               : nullptr;
  if (!restrict || !restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    ::SetDllDirectoryW(L"");
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictLibrarySearch();
  try {
    g_theApp.InitInstance();
  } catch (...) {
  }
  return g_theApp.ExitInstance();
}
