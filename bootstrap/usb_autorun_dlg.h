// The main dialog and controller of the workflow: start-up decisions, the worker thread, the
// licence and progress pages, and the end of the run with or without the phone's mode change.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "bootstrap/core/page_layout.h"
#include "bootstrap/launch_context.h"
#include "bootstrap/core/pc_system.h"
#include "bootstrap/core/progress_step.h"
#include "bootstrap/core/run_fields.h"
#include "bootstrap/provisioning/driver_mgr.h"
#include "bootstrap/provisioning/windows_pc.h"
#include "bootstrap/view/control_ids.h"
#include "common/core/signature_policy.h"
#include "common/win/handles.h"
#include "common/win/ui/dialog.h"
#include "common/win/ui/worker_thread.h"

// The dialog's timers and progress range, under the names the controller uses.
constexpr UINT_PTR TIMER_AUTORUN = qv::bootstrap::kTimerAutorun;
constexpr UINT_PTR TIMER_PROGRESS_DOWNLOAD = qv::bootstrap::kTimerDownloadDisplay;
constexpr UINT_PTR TIMER_PROGRESS_INSTALL = qv::bootstrap::kTimerInstallDisplay;
constexpr int kProgressComplete = qv::bootstrap::kProgressMax;
// Carries a progress display request from the worker to the dialog's thread, which owns the timers.
constexpr UINT kProgressTimerMessage = WM_APP + 1;
// Carries a progress mark from the worker to the dialog's thread, where reading and raising the
// position cannot interleave with the creeping step.
constexpr UINT kRaiseProgressMessage = WM_APP + 2;

// The workflow's fields (qv::bootstrap::RunFields) are the dialog's own; its workflow operations
// hand over to the portable workflow with the dialog as the run's window.
class CUSBAutoRunDlg : public qv::ui::CKeepOpenDialog,
                       public qv::bootstrap::RunFields,
                       private IDriverRun,
                       private qv::bootstrap::RunView {
 public:
  // The start the application made; the dialog keeps its own copy.
  explicit CUSBAutoRunDlg(LaunchContext launch, HWND parent = nullptr);
  ~CUSBAutoRunDlg() override;

  // Start-up and configuration: where the program runs from, as the launch context has it.
  std::wstring GetModulePath();
  std::wstring GetConfigString(const std::wstring& section, const std::wstring& key) const override;
  BOOL InitAutoRun();
  void GetConfigInfo();

  // System checks and the phone's mode
  BOOL CheckSystem();
  BOOL ModeChange(int mode);
  BOOL IsSamePhoneDrive();
  BOOL IsRunPXPC();
  static BOOL IsProcessRunning(const std::wstring& executableName);
  void ExitProgram(int modeChange);
  // Waits, without a time limit, until the worker has written its last lines after handing over.
  void WaitForWorker() const;

  // Workflow
  void AutoRunMainWork();
  void AutoRun_PXBootstrap();

  // View
  // What every PC start needs of the page: the caption, the colours and fonts, and License.txt
  // read (a start without them ends with a mode switch).
  BOOL InitControl();
  // The licence page's layout and texts, made only when the page is to be shown: a run that
  // stays hidden never shows it.
  void LayOutLicencePage();
  void ModifyDialog_Step1();
  // The window's size for the page it shows at the current DPI, at `topLeft` (null: where it is).
  void SizeWindowForPage(const POINT* topLeft);
  // Every control placed, with its font and picture, for the current DPI and window size.
  void PlaceControls();
  void SetProgressTimer(UINT_PTR timerId, BOOL stop);
  // Raises the bar to at least `position`; a position already higher stays.
  void RaiseProgress(int position) override;

  BOOL m_bAdmin = 1;
  CDriverMgr m_DriverMgr;
  qv::UniqueHandle m_hMutex;
  BOOL m_bExiting = 0;
  std::atomic<BOOL> m_bModeChangeOnExit{1};
  std::wstring m_strOtherDrive;
  int m_nUserSelectionMode = 3;
  // What the phone asks of the signatures of the tool and the server's driver installer.
  qv::SignaturePolicy m_signaturePolicy;
  std::atomic<qv::ui::CWorkerThread*> m_pAutoRunThread{nullptr};
  BOOL m_bOtherNoResponse = 0;
  HWND m_hOtherAutoRun = nullptr;
  std::wstring m_strModuleName;
  BOOL m_bEnableLog = 0;  // handed to the trace log, which keeps the file it writes to
  qv::UniqueGdiObject m_fontNormal, m_fontBold;
  std::wstring m_strLicence;  // License.txt as the licence page shows it
  qv::UniqueGdiObject m_hBrush;  // the header's background: the system's window colour (white)
  qv::UniqueGdiObject m_leftPicture, m_rightPicture;  // the header pictures as shown
  unsigned m_nDpi = 96;          // of the monitor the window is on
  int m_nShortenedBy = 0;        // what the window lost to fit its screen, in pixels
  bool m_bPageLaidOut = false;   // the licence page was laid out: the window is shown
  bool m_bProgressPage = false;  // and has turned to the progress page
  qv::ui::CProgressCtrl m_ctrlProgress;
  HICON m_hIcon = nullptr;

 protected:
  BOOL OnInitDialog() override;

  QV_BEGIN_MSG_MAP()
    QV_MESSAGE(WM_PAINT, OnPaint)
    QV_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
    QV_MESSAGE(WM_COPYDATA, OnCopyData)
    QV_MESSAGE(WM_TIMER, OnTimer)
    QV_MESSAGE(WM_CLOSE, OnClose)
    QV_BUTTON_CLICKED(kIdYes, OnYes)
    QV_BUTTON_CLICKED(kIdNo, OnNo)
    QV_BUTTON_CLICKED(kIdAccept, OnAccept)
    QV_BUTTON_CLICKED(kIdDecline, OnDecline)
    QV_MESSAGE(WM_CTLCOLORSTATIC, OnCtlColor)
    QV_MESSAGE(WM_CTLCOLORDLG, OnCtlColor)
    QV_MESSAGE(WM_CTLCOLORBTN, OnCtlColor)
    QV_MESSAGE(WM_CTLCOLOREDIT, OnCtlColor)
    QV_BUTTON_CLICKED(kIdCancel, OnCancelDownload)
    QV_MESSAGE(kProgressTimerMessage, OnProgressTimerRequest)
    QV_MESSAGE(kRaiseProgressMessage, OnRaiseProgress)
    QV_MESSAGE(WM_DPICHANGED, OnDpiChanged)
    QV_MESSAGE(WM_SYSCOLORCHANGE, OnSysColorChange)
  QV_END_MSG_MAP()

 private:
  INT_PTR OnPaint(WPARAM, LPARAM);
  INT_PTR OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<INT_PTR>(m_hIcon); }
  INT_PTR OnCopyData(WPARAM, LPARAM);
  INT_PTR OnTimer(WPARAM, LPARAM);
  INT_PTR OnClose(WPARAM, LPARAM);
  INT_PTR OnCtlColor(WPARAM, LPARAM);
  // The window moved to a monitor of another DPI: fonts, pictures and layout made again for it.
  INT_PTR OnDpiChanged(WPARAM dpi, LPARAM suggestedRect);
  INT_PTR OnSysColorChange(WPARAM, LPARAM);
  qv::bootstrap::PageMetrics CurrentMetrics() const;
  void PlaceControl(const qv::bootstrap::ControlPlacement& place) const;
  void OnYes();
  void OnNo();
  void OnAccept();
  void OnDecline();
  void KeepRadioButtonsTabStops() const;
  void OnCancelDownload() { m_bUserCancel = 1; }
  void StepProgress();
  INT_PTR OnProgressTimerRequest(WPARAM timerId, LPARAM stop);
  INT_PTR OnRaiseProgress(WPARAM position, LPARAM);
  bool IsDialogThread() const;
  // What the workflow shows on the window.
  void SetProgressDisplay(qv::bootstrap::ProgressDisplay display, bool stop) override;
  void ShowMessage(const std::wstring& text) override;
  void BringToFront() override { SetForegroundWindow(); }
  void QueryOtherInstance();
  static void AutoRunThread(CUSBAutoRunDlg* dialog);

  const LaunchContext m_launch;
  std::unique_ptr<qv::ui::CWorkerThread> m_autoRunThreadOwner;
  // The PC the workflow works on: installs through m_DriverMgr, starts under m_signaturePolicy.
  CWindowsPc m_pc{&m_DriverMgr, m_signaturePolicy};
};
