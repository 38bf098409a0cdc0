// The application object: command line, launch drive, application mutex and start-up.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "common/win/handles.h"

class CUSBAutoRunDlg;

extern std::wstring g_strAppTitle;

class CUSBAutoRunApp {
 public:
  BOOL InitInstance();
  int ExitInstance();
  std::wstring GetProgramVersion();

  std::wstring m_strCmdLine;
  std::wstring m_strLaunchDrive;
  qv::UniqueHandle m_hAppMutex;
  std::wstring m_strFileVersion;
  std::atomic<CUSBAutoRunDlg*> m_pMainWnd{nullptr};  // the main dialog while it runs
};

CUSBAutoRunApp& TheApp();

constexpr wchar_t kAppMutexName[] = L"QV PX_Bootstrap Program";
constexpr wchar_t kAppWindowClass[] = L"QVUSBAutoRun PX_Bootstrap class";
