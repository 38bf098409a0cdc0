// The controller: start-up decisions in OnInitDialog, the worker and its hand-over, timers,
// buttons, and ExitProgram, which ends every run.
#include "bootstrap/usb_autorun_dlg.h"

#include <cwchar>

#include "bootstrap/config.h"
#include "bootstrap/core/config_lists.h"
#include "bootstrap/core/driver_tables.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/run_decisions.h"
#include "bootstrap/core/usb_mode.h"
#include "bootstrap/core/workflow.h"
#include "bootstrap/provisioning/package_signature.h"
#include "bootstrap/provisioning/files.h"
#include "bootstrap/provisioning/trace_log.h"
#include "bootstrap/view/init_dlg.h"
#include "common/win/process_list.h"
#include "common/core/unique_resource.h"

using namespace qv::bootstrap;

CUSBAutoRunDlg::CUSBAutoRunDlg(LaunchContext launch, HWND parent)
    : CKeepOpenDialog(kMainDialogTemplate, parent), m_launch(std::move(launch)) {
  m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIcon));
  m_DriverMgr.AttachRun(this);
}

CUSBAutoRunDlg::~CUSBAutoRunDlg() {
  m_autoRunThreadOwner.reset();  // waits for the worker's last lines
  if (m_hMutex) ::ReleaseMutex(m_hMutex.get());
}

BOOL CUSBAutoRunDlg::InitAutoRun() {
  GetModulePath();
  m_bEnableLog = IsLoggingEnabled();
  CTraceLogFile::Shared().Start(m_bEnableLog != 0, m_launch.IsPcStart(), GetBaseFolder());
  GetConfigInfo();
  return CheckSystem();
}

void CUSBAutoRunDlg::GetConfigInfo() {
  WriteTraceLog(L"[GetConfigInfo()] START...............\r\n");
  if (!PcStartConfigRefusal().empty()) WriteTraceLog(PcStartConfigRefusal());
  m_strPxpcName = GetConfigString(L"PXPC", L"pxpc_name");
  m_strModelType = GetConfigString(L"PXPACKAGE", L"model_type");
  m_strPhoneDrive = m_launch.launchDrive.empty() ? m_strModulePath : m_launch.launchDrive;
  m_strPxpcTestVer = GetConfigString(L"PXPC", L"pxpc_test_ver");
  WriteTraceLog(L"[GetConfigInfo()] END...............\r\n");
}

BOOL CUSBAutoRunDlg::OnInitDialog() {
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  m_ctrlProgress = qv::ui::CProgressCtrl(::GetDlgItem(m_hWnd, kIdProgress));
  if (!InitAutoRun()) return FALSE;

  const std::wstring& version = m_launch.version;
  const bool pcStart = m_launch.IsPcStart();
  if (!pcStart) {
    WriteTraceLog(FormatText(L"================[OnInitDialog() PHONE START, %ls]==============\r\n", version.c_str()));
  } else {
    WriteTraceLog(FormatText(L"================[OnInitDialog() PC START, %ls]==============\r\n", version.c_str()));
    m_hMutex.reset(::CreateMutexW(nullptr, TRUE, L"QVEPXBSONPC"));
    if (!m_hMutex) {
      WriteTraceLog(L"Failed to create mutex\r\n");
    } else if (::GetLastError() == ERROR_ALREADY_EXISTS) {
      WriteTraceLog(L"-------------- PXBS of another device is already running on PC. Exit -------------\r\n");
      ExitProgram(1);
      return FALSE;
    }
    // From the phone itself (the copy beside the program is the user's to change), or from the copy
    // that the relaunch proved to hold the phone's bytes when the phone is gone already.
    const std::wstring phoneFolder = PhoneFolderOf(*this);
    m_signaturePolicy = ReadSignaturePolicy(phoneFolder.empty() ? phoneFolder : phoneFolder + L"config.ini",
                                            m_strModulePath + L"config.ini");
    m_pc.WarmUpSignatureCheck(m_strModulePath + m_strModuleName);
  }

  WriteTraceLog(L"Start : [if(m_hOtherAutoRun != NULL)] \r\n");
  if (m_hOtherAutoRun) {
    QueryOtherInstance();
    const bool same = IsSamePhoneDrive() != 0;
    switch (DecideOtherInstance(true, {same, m_bOtherNoResponse == 1})) {
      case OtherInstanceStep::LeaveToOther:
        WriteTraceLog(L"[IsSamePhoneDrive()] return is TRUE ==> Already is run same AutoRun. & Program End..\r\n");
        ::SetForegroundWindow(m_hOtherAutoRun);
        ExitProgram(0);
        return FALSE;
      case OtherInstanceStep::SwitchAndEnd:
        WriteTraceLog(L"End : [IsSamePhoneDrive()] return is FALSE ==> Mode Change & Program End..\r\n");
        ExitProgram(1);
        return FALSE;
      case OtherInstanceStep::Continue:
        WriteTraceLog(L"End : [IsSamePhoneDrive()] return is FALSE ==> Other App is no response...\r\n");
        break;
    }
  }

  if (IsRunPXPC()) {
    WriteTraceLog(L"[OnInitDialog()] IsRunPXPC() return is TRUE......\r\n");
    TracedMessageBox(m_hWnd, L"RO Zeru Zav program is already running.", m_launch.caption);
    ExitProgram(1);
    return FALSE;
  }

  if (!pcStart) {
    WriteTraceLog(L"Start : [CInitDlg dlg.DoModal()]\r\n");
    CInitDlg copyDialog(nullptr);
    copyDialog.SetCaption(m_launch.caption);
    copyDialog.DoModal();
    for (int sleeps = 0; sleeps < 301 && copyDialog.m_bFinished != 1; ++sleeps) ::Sleep(100);
    WriteTraceLog(L"End : [CInitDlg dlg.DoModal()]\r\n");
    ExitProgram(PhoneStartSwitchesMode(copyDialog.m_nCopyResult) ? 1 : 0);
    return FALSE;
  }

  if (!InitControl()) {
    WriteTraceLog(L"End : [InitControl() == FALSE] is return FALSE.\r\n");
    ExitProgram(1);
    return FALSE;
  }
  switch (PreparePcStart(m_pc, *this)) {
    case PcStartStep::EndWithModeChange:
      WriteTraceLog(L"[OnInitDialog()] Abnormal Status.......\r\n");
      ExitProgram(1);
      return FALSE;
    case PcStartStep::RunHidden:
      WriteTraceLog(L"[OnInitDialog()] Mode Change & Run PXPC.......\r\n");
      KeepHidden();
      SetWindowPos(HWND_BOTTOM, 0, 0, 0, 0, SWP_HIDEWINDOW);
      AutoRunMainWork();
      break;
    case PcStartStep::AskLicence:
      LayOutLicencePage();  // and the page waits for the user
      break;
  }
  WriteTraceLog(L"[OnInitDialog()]..END.................\r\n");
  return m_bPageLaidOut ? FALSE : TRUE;  // the licence page put the keyboard's focus where it starts
}

namespace {

// Whether |window| belongs to a process that runs this program (the image file name of its
// process is ours, |ownName|), wherever that copy of the program lies.
bool IsWindowOfThisProgram(HWND window, const std::wstring& ownName) {
  DWORD processId = 0;
  if (!window || !::GetWindowThreadProcessId(window, &processId) || processId == 0) return false;
  qv::UniqueProcessHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (!process) return false;
  wchar_t image[MAX_PATH * 2] = {};
  DWORD length = MAX_PATH * 2;
  if (!::QueryFullProcessImageNameW(process.get(), 0, image, &length)) return false;
  return qv::bootstrap::IsSameProgramImage(std::wstring(image, length), ownName);
}

}  // namespace

// Asks the other instance for its phone drive; its answer arrives as WM_COPYDATA while the send
// waits. The send is not SMTO_BLOCK, since the answer is itself a message sent to this thread.
// A window that is hung or does not take the question in time leaves the drive empty: the
// instance did not respond.
void CUSBAutoRunDlg::QueryOtherInstance() {
  COPYDATASTRUCT query{0, 0, nullptr};
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(m_hOtherAutoRun, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd), reinterpret_cast<LPARAM>(&query),
                        SMTO_ABORTIFHUNG, qv::bootstrap::kOtherInstanceWaitMs, &result);
}

INT_PTR CUSBAutoRunDlg::OnCopyData(WPARAM wParam, LPARAM lParam) {
  const COPYDATASTRUCT* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (!record) return FALSE;
  if (!record->lpData) {
    // The phone's drive goes only to a window of another instance of this program, never to
    // whatever window a sender names. SMTO_BLOCK: nothing has to reach this thread while the
    // answer waits, so no other question is taken in the middle of this one.
    HWND asker = reinterpret_cast<HWND>(wParam);
    if (!IsWindowOfThisProgram(asker, m_strModuleName)) return FALSE;
    wchar_t drive[260] = {};
    m_strPhoneDrive.copy(drive, 259);
    COPYDATASTRUCT answer{0, sizeof(drive), drive};
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(asker, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&answer), SMTO_BLOCK | SMTO_ABORTIFHUNG,
                          qv::bootstrap::kOtherInstanceWaitMs, &result);
  } else {
    // The sender's text, never read past the bytes it sent.
    const wchar_t* text = static_cast<const wchar_t*>(record->lpData);
    size_t count = record->cbData / sizeof(wchar_t);
    m_strOtherDrive.assign(text, ::wcsnlen(text, count));
  }
  return FALSE;  // what the default handling answers
}

namespace {

std::wstring Lowered(std::wstring text) {
  if (!text.empty()) ::CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace

// A process runs |executableName| when its image file name is the file-name part of that name,
// letter case aside (both lowered by the system's rules, which know more than ASCII). Another
// program whose name merely appears inside it ("c.exe" in "PXPC.exe") is not that program.
BOOL CUSBAutoRunDlg::IsProcessRunning(const std::wstring& executableName) {
  const std::wstring wanted = Lowered(executableName);
  return qv::FindProcess([&wanted](const wchar_t* image, DWORD) { return IsSameProgramImage(wanted, Lowered(image)); }) != 0
             ? TRUE
             : FALSE;
}

BOOL CUSBAutoRunDlg::IsRunPXPC() { return IsProcessRunning(m_strPxpcName); }

void CUSBAutoRunDlg::AutoRunMainWork() {
  if (m_autoRunThreadOwner) return;  // one worker per run: a second start request does nothing
  WriteTraceLog(L"[CUSBAutoRunDlg::AutoRunMainWork()] START............\r\n");
  UINT_PTR timer = SetTimer(TIMER_AUTORUN, qv::bootstrap::kDisplayTimerPeriodMs);
  WriteTraceLog(FormatText(L"SetTimer TIMER_AUTORUN[%d] \r\n", static_cast<int>(timer)));
  // Published before it runs, so that the worker's clearing of the pointer is always the last word.
  m_autoRunThreadOwner = qv::ui::CWorkerThread::Create([this] { AutoRunThread(this); });
  if (m_autoRunThreadOwner) {
    m_pAutoRunThread = m_autoRunThreadOwner.get();
    m_autoRunThreadOwner->Resume();
  }
  WriteTraceLog(L"[CUSBAutoRunDlg::AutoRunMainWork()] END............\r\n");
}

void CUSBAutoRunDlg::WaitForWorker() const {
  // No time limit: the worker reads the dialog until it ends, and it is bounded itself.
  if (m_autoRunThreadOwner) m_autoRunThreadOwner->JoinPumpingSentMessages();
}

void CUSBAutoRunDlg::AutoRunThread(CUSBAutoRunDlg* dialog) {
  if (!dialog) return;
  WriteTraceLog(L"[CUSBAutoRunDlg::AutoRunThread()] START...........\r\n");
  bool finished = false;
  // Hand-over order, on every way out: the outcome is set, then the close is posted, then the
  // pointer cleared. A workflow cut short by an exception failed: the exit switches the mode.
  auto handOver = qv::MakeScopeExit([dialog, &finished] {
    if (!finished) dialog->m_bModeChangeOnExit = 1;
    try {
      WriteTraceLog(FormatText(L"[CUSBAutoRunDlg::PostMessage[%d]]\r\n", static_cast<int>(dialog->m_bModeChangeOnExit)));
    } catch (...) {
    }
    dialog->PostMessage(WM_CLOSE);
    dialog->m_pAutoRunThread = nullptr;
    try {
      WriteTraceLog(L"[CUSBAutoRunDlg::AutoRunThread()] END...........\r\n");
    } catch (...) {
    }
  });
  dialog->AutoRun_PXBootstrap();
  finished = true;
}

void CUSBAutoRunDlg::AutoRun_PXBootstrap() {
  m_bModeChangeOnExit = RunWorkflow(m_pc, *this, *this, m_launch.caption) ? 0 : 1;
}

void CUSBAutoRunDlg::SetProgressDisplay(ProgressDisplay display, bool stop) {
  SetProgressTimer(display == ProgressDisplay::Download ? TIMER_PROGRESS_DOWNLOAD : TIMER_PROGRESS_INSTALL,
                   stop ? TRUE : FALSE);
}

void CUSBAutoRunDlg::ShowMessage(const std::wstring& text) {
  ::MessageBoxW(m_hWnd, text.c_str(), m_launch.caption.c_str(), MB_ICONEXCLAMATION | MB_OK);
}

INT_PTR CUSBAutoRunDlg::OnTimer(WPARAM wParam, LPARAM) {
  UINT_PTR id = wParam;
  WriteTraceLog(FormatText(L"OnTimer[%d] \r\n", static_cast<int>(id)));
  if (id == TIMER_AUTORUN) {
    WriteTraceLog(L"[OnTimer(TIMER_AUTORUN)]\r\n");
    if (m_pAutoRunThread == nullptr) {
      WriteTraceLog(L"[OnTimer()] End Dialog.........\r\n");
      KillTimer(TIMER_AUTORUN);
      ExitProgram(m_bModeChangeOnExit);
    }
  } else if (id == TIMER_PROGRESS_DOWNLOAD || id == TIMER_PROGRESS_INSTALL) {
    StepProgress();
  }
  return 0;
}

INT_PTR CUSBAutoRunDlg::OnClose(WPARAM, LPARAM) {
  if (m_pAutoRunThread == nullptr) ExitProgram(m_bModeChangeOnExit);
  return 0;
}

void CUSBAutoRunDlg::OnYes() {
  if (m_autoRunThreadOwner) return;  // a second click, queued before the page changed
  ModifyDialog_Step1();
  AutoRunMainWork();
}

void CUSBAutoRunDlg::OnNo() {
  if (m_pAutoRunThread == nullptr) ExitProgram(1);
}

void CUSBAutoRunDlg::OnAccept() {
  qv::ui::CButton(::GetDlgItem(m_hWnd, kIdAccept)).SetCheck(BST_CHECKED);
  qv::ui::CButton(::GetDlgItem(m_hWnd, kIdDecline)).SetCheck(BST_UNCHECKED);
  KeepRadioButtonsTabStops();
  GetDlgItem(kIdYes).EnableWindow(TRUE);
  GetDlgItem(kIdNo).EnableWindow(TRUE);
}

void CUSBAutoRunDlg::OnDecline() {
  qv::ui::CButton(::GetDlgItem(m_hWnd, kIdAccept)).SetCheck(BST_UNCHECKED);
  qv::ui::CButton(::GetDlgItem(m_hWnd, kIdDecline)).SetCheck(BST_CHECKED);
  KeepRadioButtonsTabStops();
  GetDlgItem(kIdYes).EnableWindow(FALSE);
  GetDlgItem(kIdNo).EnableWindow(TRUE);
}

void CUSBAutoRunDlg::KeepRadioButtonsTabStops() const {
  // Checking a radio button takes the tab stop from the one that is no longer checked; each of
  // these two is a group of its own, so the Tab key would then never reach it.
  for (int id : {kIdAccept, kIdDecline}) {
    HWND button = ::GetDlgItem(m_hWnd, id);
    ::SetWindowLongPtrW(button, GWL_STYLE, ::GetWindowLongPtrW(button, GWL_STYLE) | WS_TABSTOP);
  }
}

void CUSBAutoRunDlg::ExitProgram(int modeChange) {
  if (m_bExiting) return;
  WriteTraceLog(FormatText(L"[ExitProgram()] START[%d]...\r\n", modeChange));
  m_bExiting = 1;
  if (modeChange == 1 && !ModeChange(m_nUserSelectionMode)) {
    ShowWindow(SW_HIDE);
    TracedMessageBox(nullptr, L"Automatic USB mode change is failed.", m_launch.caption, MB_TASKMODAL | MB_SETFOREGROUND);
    WriteTraceLog(L"[ExitProgram()] Mode Change Failed.............\r\n");
  }
  WriteTraceLog(L"[ExitProgram()] END...\r\n");
  if (m_pAutoRunThread == nullptr) EndDialog(0);
}
