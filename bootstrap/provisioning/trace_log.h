// The file side of the trace log: whether entries go to a file, which numbered file, and the lock
// that keeps each entry's bytes and the choice of file together. The main dialog starts it once
// it has read the logging switch, and the application stops it when the run ends (its dialog
// closed, its worker joined); before and after, entries go to the debugger only.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

class CTraceLogFile {
 public:
  // The log of this process, which WriteTraceLog writes through.
  static CTraceLogFile& Shared();

  // `folder` holds the numbered files; a relaunched run follows the newest file of the sequence
  // from entry to entry, a first run writes to number 0000 throughout.
  void Start(bool enabled, bool relaunched, const std::wstring& folder);
  void Stop();
  // Appends one entry when the file side is on. Never throws: logging never disturbs the workflow.
  void Append(const std::wstring& text) noexcept;
  // The file the last entry went to; empty before the first.
  std::wstring CurrentFile() const;

 private:
  class Hold;

  // A slim reader/writer lock rather than std::mutex: it needs no initialisation and cannot fail,
  // so the log pulls in none of the runtime's system_error machinery.
  mutable SRWLOCK m_lock = SRWLOCK_INIT;
  std::atomic<bool> m_bEnabled{false};
  bool m_bRelaunched = false;
  std::wstring m_strFolder;
  int m_nFileNumber = -1;
  std::wstring m_strLogFile;
};

// printf-style formatting of a wide trace or message text, bounded.
std::wstring FormatText(const wchar_t* format, ...);

// One entry of the trace log: to the debugger always, to the log file while its file side is on.
void WriteTraceLog(const std::wstring& text);
// A message box (exclamation icon, OK) whose text is traced first, so that the log tells what the
// user was shown even while the box waits.
int TracedMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT extraFlags = 0);
// The logging switch of the user's AutoRun_Log.ini.
BOOL IsLoggingEnabled();
