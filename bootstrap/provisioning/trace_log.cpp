// The trace log: every entry to the debugger output, and to the numbered log file in the user's
// Templates folder while the file side is on. Entries come from the dialog's thread and the
// worker; the log's own lock keeps the file choice and each entry's bytes together.
#include "bootstrap/provisioning/trace_log.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

#include "bootstrap/core/path_text.h"
#include "bootstrap/core/trace_text.h"
#include "bootstrap/provisioning/files.h"
#include "common/win/ansi_text.h"
#include "common/win/file_identity.h"
#include "common/win/handles.h"

using namespace qv::bootstrap;

class CTraceLogFile::Hold {
 public:
  explicit Hold(SRWLOCK& lock) : m_lock(lock) { ::AcquireSRWLockExclusive(&m_lock); }
  ~Hold() { ::ReleaseSRWLockExclusive(&m_lock); }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  SRWLOCK& m_lock;
};

namespace {

// Tries `attempt` again, 2 ms apart, for at most a second, while it fails with `busy`: the other
// run of the program holds what it needs for an instant. Returns the last attempt's result.
template <typename Attempt>
bool RetryWhileBusy(DWORD busy, Attempt attempt) {
  for (int tries = 1;; ++tries) {
    if (attempt()) return true;
    if (tries == 500 || ::GetLastError() != busy) return false;
    ::Sleep(2);
  }
}

void AppendToFile(const std::wstring& path, const std::wstring& entry) {
  // A log folder or log file that is a link would carry the entry outside the folder.
  const std::wstring folder = FolderOfPath(path);
  if (folder.empty() || !IsFreeOfLinks(folder, path.substr(folder.size() + 1))) return;
  // Reading too, which a lock needs. A relaunched run probes the numbered files with an open that
  // shares nothing, for an instant; while the other run does, the open is tried again.
  qv::UniqueFileHandle file;
  const bool opened = RetryWhileBusy(ERROR_SHARING_VIOLATION, [&] {
    file.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return static_cast<bool>(file);
  });
  if (!opened) return;
  // Opened as itself: a link put there since the check is refused here, as is a second name.
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.get(), &info) || qv::IsLinkOrSharedFile(info)) return;
  std::string narrow = qv::ToAnsi(entry);
  if (narrow.empty()) return;
  // The phone start and the PC start it relaunched write to the same file at the same time. An
  // append is one operation on Windows, but not under Wine, where two processes' entries can land
  // on the same bytes: a lock on a byte far past any entry takes turns between them. The wait for
  // it is bounded (a program of the user could hold it); the entry is written either way.
  OVERLAPPED turn{};
  turn.Offset = 0xFFFFFFFE;
  turn.OffsetHigh = 0x7FFFFFFF;
  const bool locked = RetryWhileBusy(ERROR_LOCK_VIOLATION, [&] {
    return ::LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &turn) != FALSE;
  });
  DWORD written = 0;
  ::WriteFile(file.get(), narrow.data(), static_cast<DWORD>(narrow.size()), &written, nullptr);
  if (locked) ::UnlockFileEx(file.get(), 0, 1, 0, &turn);
}

}  // namespace

CTraceLogFile& CTraceLogFile::Shared() {
  static CTraceLogFile log;
  return log;
}

void CTraceLogFile::Start(bool enabled, bool relaunched, const std::wstring& folder) {
  Hold hold(m_lock);
  m_bRelaunched = relaunched;
  m_strFolder = folder;
  m_nFileNumber = -1;
  m_strLogFile.clear();
  m_bEnabled = enabled;
}

void CTraceLogFile::Stop() {
  Hold hold(m_lock);
  m_bEnabled = false;
}

std::wstring CTraceLogFile::CurrentFile() const {
  Hold hold(m_lock);
  return m_strLogFile;
}

void CTraceLogFile::Append(const std::wstring& text) noexcept {
  if (!m_bEnabled) return;
  try {
    const std::wstring entry = FormatLogFileEntry(text);
    Hold hold(m_lock);
    if (!m_bEnabled) return;
    if (m_bRelaunched || m_nFileNumber < 0) {
      auto exists = [this](int n) { return IsExistFile(FormatLogFilePath(m_strFolder, n)) != 0; };
      const int number = m_bRelaunched ? FollowLogFileNumber(m_nFileNumber, exists) : ChooseLogFileNumber(false, exists);
      if (number != m_nFileNumber) m_strLogFile = FormatLogFilePath(m_strFolder, number);
      m_nFileNumber = number;
    }
    AppendToFile(m_strLogFile, entry);
  } catch (...) {
    // Logging never disturbs the workflow.
  }
}

BOOL IsLoggingEnabled() {
  std::wstring folder = GetBaseFolder();
  if (folder.empty()) return FALSE;
  std::wstring value = GetIniString(folder + L"\\" + kLogIniName, kLogIniSection, kLogIniKey);
  return value == L"1" ? TRUE : FALSE;
}

void WriteTraceLog(const std::wstring& text) {
  static std::atomic<uint32_t> startTick{0};
  uint32_t expected = 0;
  uint32_t now = ::GetTickCount();
  startTick.compare_exchange_strong(expected, now);
  ::OutputDebugStringW(FormatDebuggerLine(ElapsedMilliseconds(startTick, now), text).c_str());
  CTraceLogFile::Shared().Append(text);
}

int TracedMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT extraFlags) {
  WriteTraceLog(qv::bootstrap::FormatMessageTrace(text));
  return ::MessageBoxW(owner, text.c_str(), caption.c_str(), MB_ICONEXCLAMATION | MB_OK | extraFlags);
}

// The system C library's formatter rather than the runtime's own printf family (some 25 KB in the
// program): our formats use %d, %u and %ls only, which both read alike. It reports a cut as -1
// and then leaves the text unterminated; either way the loop grows the buffer.
std::wstring FormatText(const wchar_t* format, ...) {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    va_list args;
    va_start(args, format);
    int written = ::_vsnwprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (written >= 0 && static_cast<size_t>(written) < buffer.size()) return std::wstring(buffer.data(), written);
    if (buffer.size() >= (1u << 20)) {  // cut, never read past the buffer
      buffer.back() = L'\0';
      return std::wstring(buffer.data());
    }
    buffer.resize(buffer.size() * 4);
  }
}
