// Checks before the workflow (factory line, the phone's selected mode, administrator rights) and
// the mode change at its end, on the workflow's PC.
#include "bootstrap/core/workflow.h"
#include "bootstrap/provisioning/trace_log.h"
#include "bootstrap/usb_autorun_dlg.h"

using namespace qv::bootstrap;

BOOL CUSBAutoRunDlg::CheckSystem() {
  switch (CheckPcAndPhone(m_pc, *this, m_strPhoneDrive, m_nUserSelectionMode, m_bAdmin)) {
    case SystemCheck::Passed:
      return TRUE;
    case SystemCheck::FactoryLine:
    case SystemCheck::NotAdministrator:
      break;
  }
  ExitProgram(1);
  return FALSE;
}

BOOL CUSBAutoRunDlg::ModeChange(int mode) {
  return ChangePhoneMode(m_pc, m_strPhoneDrive, mode, m_bAdmin != 0) ? TRUE : FALSE;
}

BOOL CUSBAutoRunDlg::IsSamePhoneDrive() {
  std::wstring oldDrive = m_strOtherDrive.substr(0, 1);
  std::wstring newDrive = m_strPhoneDrive.substr(0, 1);
  WriteTraceLog(FormatText(L"[IsSamePhoneDrive()] OldDrv = %ls, NewDrv = %ls\r\n", oldDrive.c_str(), newDrive.c_str()));
  SameDriveResult same = CompareOtherPhoneDrive(m_strOtherDrive, m_strPhoneDrive);
  if (same.otherNoResponse) m_bOtherNoResponse = 1;
  return same.same ? 1 : 0;
}
