// The trace log: every entry to the debugger output, and to the numbered log file in the user's
// Templates folder when AutoRun_Log.ini switches it on. Entries come from the dialog's thread
// and the worker; one lock keeps the file path and each entry's bytes together.
#include <windows.h>

#include <atomic>

#include "bootstrap/app.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/core/trace_text.h"
#include "bootstrap/provisioning/support.h"
#include "bootstrap/usb_autorun_dlg.h"
#include "common/win/ansi_text.h"
#include "common/win/handles.h"

using namespace qv::bootstrap;

namespace {

// A slim reader/writer lock rather than std::mutex: it needs no initialisation and cannot fail,
// so the log pulls in none of the runtime's system_error machinery.
SRWLOCK g_logLock = SRWLOCK_INIT;

class LogLockHold {
 public:
  LogLockHold() { ::AcquireSRWLockExclusive(&g_logLock); }
  ~LogLockHold() { ::ReleaseSRWLockExclusive(&g_logLock); }
  LogLockHold(const LogLockHold&) = delete;
  LogLockHold& operator=(const LogLockHold&) = delete;
};

void AppendToFile(const std::wstring& path, const std::wstring& entry) {
  // A log folder or log file that is a link would carry the entry outside the folder.
  const std::wstring folder = FolderOfPath(path);
  if (folder.empty() || !IsFreeOfLinks(folder, path.substr(folder.size() + 1))) return;
  qv::UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  std::string narrow = qv::ToAnsi(entry);
  if (narrow.empty()) return;
  DWORD written = 0;
  ::WriteFile(file.get(), narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
}

}  // namespace

BOOL IsLoggingEnabled() {
  std::wstring folder = GetBaseFolder();
  if (folder.empty()) return FALSE;
  std::wstring value = ReadIniString(folder + L"\\" + kLogIniName, kLogIniSection, kLogIniKey);
  return value == L"1" ? TRUE : FALSE;
}

void WriteTraceLog(const std::wstring& text) {
  static std::atomic<uint32_t> startTick{0};
  uint32_t expected = 0;
  uint32_t now = ::GetTickCount();
  startTick.compare_exchange_strong(expected, now);
  ::OutputDebugStringW(FormatDebuggerLine(ElapsedMilliseconds(startTick, now), text).c_str());

  CUSBAutoRunDlg* dialog = TheApp().m_pMainWnd;
  if (!dialog || !dialog->m_bEnableLog) return;
  try {
    std::wstring entry = FormatLogFileEntry(text);
    std::wstring folder = GetBaseFolder();
    bool relaunched = !TheApp().m_strCmdLine.empty();
    LogLockHold hold;
    if (relaunched || dialog->m_strLogFile.empty()) {
      int number = ChooseLogFileNumber(relaunched, [&](int n) { return IsExistFile(FormatLogFilePath(folder, n)) != 0; });
      dialog->m_strLogFile = FormatLogFilePath(folder, number);
    }
    AppendToFile(dialog->m_strLogFile, entry);
  } catch (...) {
    // Logging never disturbs the workflow.
  }
}
