// The progress page's display: the status line, the bar, and a bar that creeps on a 500 ms timer
// while a long download or installation gives no progress of its own.
#include "bootstrap/core/progress_step.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "bootstrap/view/control_ids.h"

void CUSBAutoRunDlg::SetProgressTimer(UINT_PTR timerId, BOOL stop) {
  // Timers belong to the dialog's thread; the worker's requests are carried over to it.
  if (!IsDialogThread()) {
    SendMessage(kProgressTimerMessage, timerId, stop);
    return;
  }
  OnProgressTimerRequest(timerId, stop);
}

INT_PTR CUSBAutoRunDlg::OnProgressTimerRequest(WPARAM timerId, LPARAM stop) {
  if (stop) {
    KillTimer(timerId);
    return 0;
  }
  if (timerId == TIMER_PROGRESS_DOWNLOAD || timerId == TIMER_PROGRESS_INSTALL) {
    if (timerId == TIMER_PROGRESS_INSTALL) SetDlgItemText(kIdStatus, L"Installing...");
    GetDlgItem(kIdQuestion).ShowWindow(SW_HIDE);
    GetDlgItem(kIdStatus).ShowWindow(SW_SHOW);
    m_ctrlProgress.ShowWindow(SW_SHOW);
    if (timerId == TIMER_PROGRESS_INSTALL) {
      HWND cancel = GetDlgItem(kIdCancel).GetSafeHwnd();
      const bool focused = ::GetFocus() == cancel;
      ::EnableWindow(cancel, FALSE);
      // The keyboard's focus would be nowhere: it goes on to the bar, which a screen reader reads
      // with the status line before it.
      if (focused) ::SetFocus(m_ctrlProgress.GetSafeHwnd());
    }
  }
  SetTimer(timerId, qv::bootstrap::kDisplayTimerPeriodMs);
  return 0;
}

void CUSBAutoRunDlg::StepProgress() {
  m_ctrlProgress.SetPos(qv::bootstrap::NextCreepPosition(m_ctrlProgress.GetPos()));
  m_ctrlProgress.RedrawNow();
}

bool CUSBAutoRunDlg::IsDialogThread() const {
  return ::GetWindowThreadProcessId(m_hWnd, nullptr) == ::GetCurrentThreadId();
}

void CUSBAutoRunDlg::RaiseProgress(int position) {
  if (!IsDialogThread()) {
    SendMessage(kRaiseProgressMessage, static_cast<WPARAM>(position), 0);
    return;
  }
  OnRaiseProgress(static_cast<WPARAM>(position), 0);
}

INT_PTR CUSBAutoRunDlg::OnRaiseProgress(WPARAM position, LPARAM) {
  const int mark = static_cast<int>(position);
  if (m_ctrlProgress.GetPos() < mark) m_ctrlProgress.SetPos(mark);
  return 0;
}
