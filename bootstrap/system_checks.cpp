// Checks before the workflow (factory line, the phone's selected mode, administrator rights) and
// the mode change at its end, through the mode-switch library.
#include <windows.h>

#include "bootstrap/app.h"
#include "bootstrap/core/launch_command.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/usb_mode.h"
#include "bootstrap/provisioning/registry_mgr.h"
#include "bootstrap/provisioning/trace_log.h"
#include "bootstrap/provisioning/user_rights.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "common/win/handles.h"
#include "modeswitch/QVEUSBAutorun.h"

using namespace qv::bootstrap;

namespace {

using ModeExport = int (*)(char);

// The exports in the modes' numbering; ChooseModeChange only gives numbers of this list.
#define QV_MODE_EXPORT(suffix) ChangeMode2##suffix,
constexpr ModeExport kModeExportFunctions[] = {QV_USB_MODES(QV_MODE_EXPORT)};
#undef QV_MODE_EXPORT

// The phone shows itself as a CD-ROM drive. Any other drive (a hard disk that the program was
// copied to and run from by hand, a network drive, no drive at all) never gets the phone's
// commands: to the program it is a phone that does not answer.
bool IsPhoneDrive(char letter) {
  return letter != '\0' && ::GetDriveTypeW(FormatDriveRoot(static_cast<wchar_t>(letter)).c_str()) == DRIVE_CDROM;
}

}  // namespace

BOOL CUSBAutoRunDlg::CheckSystem() {
  WriteTraceLog(L"[CheckSystem()] START...............\r\n");
  if (CRegistryMgr(L"").IsExistKey(3, L"SOFTWARE\\QV Electronics\\ForceDiag")) {
    WriteTraceLog(L"[CheckSystem()] This is Factory Line.......\r\n");
    m_nUserSelectionMode = kFactoryLineMode;
    ExitProgram(1);
    return FALSE;
  }
  unsigned char answer[4] = {kSelectedModeBufferFill, 0, 0, 0};
  const char letter = DriveLetterOf(m_strPhoneDrive);
  int answered = IsPhoneDrive(letter) ? ::GetPhoneData(letter, kItemSelectedMode, answer, 1) : 0;
  m_nUserSelectionMode = SelectedModeFromPhone(answered != 0, answer[0]);
  WriteTraceLog(answered ? L"[CheckSystem()] Get User Selection Mode Command is Success.....\r\n"
                         : L"[CheckSystem()] Get User Selection Mode Command is Failed\r\n");
  m_bAdmin = IsUserInGroup(DOMAIN_ALIAS_RID_ADMINS);
  if (!m_bAdmin) {
    WriteTraceLog(L"[CheckSystem()] Admin is FALSE...\r\n");
    ::MessageBoxW(m_hWnd,
                  L"[NOTIFICATION]\nThis computer is not logged in as Administrator account.\n"
                  L"The Autorun feature is not working under User account.",
                  g_strAppTitle.c_str(), MB_ICONEXCLAMATION | MB_OK);
    WriteTraceLog(L"[CheckSystem()] END...............\r\n");
    ExitProgram(1);
    return FALSE;
  }
  WriteTraceLog(FormatText(L"[CheckSystem()] User Selection Mode is (%d), Admin is (%d)\r\n", m_nUserSelectionMode,
                           m_bAdmin));
  WriteTraceLog(L"[CheckSystem()] END...............\r\n");
  return TRUE;
}

BOOL CUSBAutoRunDlg::ModeChange(int mode) {
  WriteTraceLog(L"[ModeChange()] START.......................\r\n");
  BOOL result = 0;
  const std::wstring& drive = m_strPhoneDrive;
  ModeChangeChoice choice = ChooseModeChange(mode);
  std::wstring trace = FormatModeChangeTrace(choice, drive);
  try {
    const char letter = DriveLetterOf(drive);
    result = IsPhoneDrive(letter) ? kModeExportFunctions[choice.mode](letter) : 0;
    WriteTraceLog(trace);
  } catch (...) {
    WriteTraceLog(L"[ModeChange()] Error (catch).......................\r\n");
    result = 0;
  }
  if (result == 1) {
    WriteTraceLog(L"[ModeChange()] Mode change success.......................\r\n");
    return 1;
  }
  WriteTraceLog(L"[ModeChange()] Mode change failed.......................\r\n");
  return IsModeChangeDone(false, m_bAdmin != 0) ? 1 : 0;
}

BOOL CUSBAutoRunDlg::IsSamePhoneDrive() {
  std::wstring oldDrive = m_strOtherDrive.substr(0, 1);
  std::wstring newDrive = m_strPhoneDrive.substr(0, 1);
  WriteTraceLog(FormatText(L"[IsSamePhoneDrive()] OldDrv = %ls, NewDrv = %ls\r\n", oldDrive.c_str(), newDrive.c_str()));
  SameDriveResult same = CompareOtherPhoneDrive(m_strOtherDrive, m_strPhoneDrive);
  if (same.otherNoResponse) m_bOtherNoResponse = 1;
  return same.same ? 1 : 0;
}
