// Downloads over HTTP(S) through WinINet: the request opened and sent with its wait limits already
// set, the server's status checked, the answer written by the shared download loop into a new file
// of its own (never through a link, never into the disk's reserve) while a watch thread ends a
// blocked wait on cancel or at the deadline, and the complete file proven to lie where it was
// meant to. Other schemes are refused before anything is asked.
#include "bootstrap/provisioning/url_download.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "bootstrap/core/package_rules.h"
#include "bootstrap/core/path_text.h"
#include "bootstrap/provisioning/files.h"
#include "common/core/decimal_text.h"
#include "common/core/download_rules.h"
#include "common/core/network_error.h"
#include "common/core/unique_resource.h"
#include "common/win/file_identity.h"
#include "common/win/handles.h"
#include "common/win/internet_stream.h"
#include "common/win/internet_waits.h"

namespace {

bool IsSuccessStatus(DWORD status) { return status >= 200 && status <= 299; }

std::wstring WideOfAscii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// "GET <url> failed with WinINet error N (...)", with the error the last WinINet call left.
std::wstring NetworkCause(const std::wstring& url) {
  return L"GET " + url + L" failed with " + WideOfAscii(qv::InternetErrorText(::GetLastError()));
}

// The bytes a download into |path| may write: the file limit, and never into the last free
// space of its disk (0 when the free space cannot be read).
uint64_t ByteBudgetAt(const std::wstring& path) {
  const std::wstring folder = qv::bootstrap::FolderOfPath(path);
  ULARGE_INTEGER available{};
  if (folder.empty() || !::GetDiskFreeSpaceExW((folder + L"\\").c_str(), &available, nullptr, nullptr)) return 0;
  return qv::DownloadByteBudget(available.QuadPart);
}

// Ends a transfer's blocked wait from outside when the user cancels or the whole transfer's time
// is up: every quarter second it looks at both and, when one says so, closes the answer's handle,
// which on Windows makes a blocked WinINet call return at once. Wine lets that call go on until
// data comes or the receive timeout ends it, so there the download loop sees the cancel or the
// deadline at the next arrival, at most the idle limit later.
class CTransferWatch : public qv::DownloadWatch {
 public:
  // |started|: the tick count when the request began.
  CTransferWatch(HINTERNET answer, ULONGLONG started, uint64_t totalMs, const std::atomic<BOOL>* cancel)
      : m_hAnswer(answer), m_nTotalMs(totalMs), m_pCancel(cancel), m_nStarted(started),
        m_hStop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (m_hStop) m_hThread.reset(::CreateThread(nullptr, 0, &CTransferWatch::Run, this, 0, nullptr));
  }
  ~CTransferWatch() { Stop(); }
  CTransferWatch(const CTransferWatch&) = delete;
  CTransferWatch& operator=(const CTransferWatch&) = delete;

  // Ends the watch; true when it closed the answer's handle (its owner must not close it again).
  bool Stop() {
    if (m_hThread) {
      ::SetEvent(m_hStop.get());
      ::WaitForSingleObject(m_hThread.get(), INFINITE);  // it wakes at once and never blocks
      m_hThread.reset();
    }
    return m_bClosed;
  }
  bool IsRunning() const { return static_cast<bool>(m_hThread); }
  uint64_t ElapsedMs() const override { return ::GetTickCount64() - m_nStarted; }
  bool Cancelled() const override { return m_pCancel && m_pCancel->load() != 0; }

 private:
  static DWORD WINAPI Run(void* self) {
    auto* watch = static_cast<CTransferWatch*>(self);
    while (::WaitForSingleObject(watch->m_hStop.get(), 250) == WAIT_TIMEOUT) {
      if ((watch->m_nTotalMs != 0 && watch->ElapsedMs() > watch->m_nTotalMs) || watch->Cancelled()) {
        watch->m_bClosed = true;
        ::InternetCloseHandle(watch->m_hAnswer);
        return 0;
      }
    }
    return 0;
  }

  HINTERNET m_hAnswer;
  const uint64_t m_nTotalMs;
  const std::atomic<BOOL>* m_pCancel;
  const ULONGLONG m_nStarted;
  std::atomic<bool> m_bClosed{false};
  qv::UniqueHandle m_hStop;
  qv::UniqueHandle m_hThread;
};

// Whether the downloaded file, open as |file|, is the one |path| names in the held |folder| (or,
// without one, in the folder its name reaches now): a folder on the way that was swapped for a
// link while the download ran has carried it elsewhere.
bool IsStillAt(HANDLE file, const std::wstring& path, const qv::CHeldFolder* folder) {
  const std::wstring name = qv::bootstrap::FileNamePart(path);
  return folder ? folder->Contains(file, name) : qv::IsReachedAt(file, path);
}

// Opens an HTTP(S) GET for |url| with every wait of the socket bounded by |waitMs|. The request is
// opened and sent in two steps so that its receive timeout is in place before it is sent: Wine sets
// the socket's timeouts when the request is sent and ignores a timeout set on the answer later.
HINTERNET OpenHttpAnswer(HINTERNET session, const std::wstring& url, DWORD waitMs,
                         qv::UniqueInternetHandle& connection) {
  wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH] = {};
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH;
  parts.dwUrlPathLength = 1;  // point into |url| for the path and the query
  parts.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(url.c_str(), 0, 0, &parts)) return nullptr;
  const std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                              std::wstring(parts.lpszExtraInfo ? parts.lpszExtraInfo : L"", parts.dwExtraInfoLength);
  connection.reset(::InternetConnectW(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return nullptr;
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  HINTERNET request = ::HttpOpenRequestW(connection.get(), L"GET", object.empty() ? L"/" : object.c_str(), nullptr, nullptr,
                                         nullptr, flags, 0);
  if (!request) return nullptr;
  qv::LimitInternetWaits(request, waitMs);
  if (!::HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
    ::InternetCloseHandle(request);
    return nullptr;
  }
  return request;
}

// One HTTP transfer through WinINet, every wait bounded: the connection, the request and each
// wait for more of the answer by the idle limit (WinINet's own timeouts), the whole by the loop.
BOOL DownloadHttp(const std::wstring& url, const std::wstring& path, const qv::DownloadLimits& limits,
                  const std::atomic<BOOL>* cancel, const qv::CHeldFolder* folder, std::wstring& cause) {
  const ULONGLONG started = ::GetTickCount64();
  qv::UniqueInternetHandle session(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) {
    cause = NetworkCause(url);
    return FALSE;
  }
  const DWORD timeout = static_cast<DWORD>(limits.idleMs);
  qv::LimitInternetWaits(session.get(), timeout);
  qv::UniqueInternetHandle connection;
  qv::UniqueInternetHandle answer(OpenHttpAnswer(session.get(), url, timeout, connection));
  if (!answer) {
    cause = NetworkCause(url);
    return FALSE;
  }
  DWORD status = 0, size = sizeof(status);
  if (!::HttpQueryInfoW(answer.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
    cause = NetworkCause(url);
    return FALSE;
  }
  if (!IsSuccessStatus(status)) {
    cause = L"GET " + url + L" answered HTTP " + qv::DecimalText(status);
    return FALSE;
  }
  // A new file of its own, written through one handle and never through a link: what was there
  // goes first, and a link or a file with another name, which stay, fail the creation.
  DeleteFileEvenReadOnly(path);
  qv::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    cause = L"[" + path + L"] cannot be created (system error " + qv::DecimalText(::GetLastError()) + L")";
    return FALSE;
  }
  // A failed download leaves nothing: the file this call made is removed wherever it now lies.
  auto removeUnlessKept = qv::MakeScopeExit([&file] { qv::DeleteOpenFile(file.get()); });
  CTransferWatch watch(answer.get(), started, limits.totalMs, cancel);
  if (!watch.IsRunning()) {
    cause = L"GET " + url + L": the transfer's watch did not start";
    return FALSE;
  }
  qv::InternetSource source(answer.get());
  qv::FileSink sink(file.get());
  qv::DownloadLimits bounded = limits;
  bounded.maxBytes = std::min(limits.maxBytes, ByteBudgetAt(path));
  qv::DownloadEnd end = qv::RunDownload(source, sink, watch, bounded);
  if (watch.Stop()) {
    answer.release();  // closed by the watch, which ended the wait
    if (end == qv::DownloadEnd::Complete) end = qv::DownloadEnd::Failed;
  }
  if (end != qv::DownloadEnd::Complete) {
    cause = L"GET " + url + L" ended: " + qv::DownloadEndText(end) + L" after " +
            qv::DecimalText(watch.ElapsedMs()) + L" ms";
    return FALSE;
  }
  if (!IsStillAt(file.get(), path, folder)) {
    cause = L"[" + path + L"] refused: the file is no longer there";
    return FALSE;
  }
  removeUnlessKept.release();
  return TRUE;
}

}  // namespace

BOOL DownloadUrlToFile(const std::wstring& url, const std::wstring& path, const qv::DownloadLimits& limits,
                       const std::atomic<BOOL>* cancel, const qv::CHeldFolder* folder, std::wstring* cause) {
  BOOL succeeded = FALSE;
  std::wstring why;
  try {
    if (qv::IsHttpAddress(url)) {
      succeeded = DownloadHttp(url, path, limits, cancel, folder, why);
    } else {
      // file:, ftp: and the like reach local files, network shares (with the user's credentials)
      // and servers without a deadline: never fetched.
      why = L"[" + url + L"] refused: not an HTTP address";
    }
  } catch (...) {
    succeeded = FALSE;  // out of memory: no cause can be told
  }
  // Only a file that is still where it was named is removed: through a link that was swapped in
  // on the way, the name would lead to someone else's file.
  const std::wstring named = qv::bootstrap::FolderOfPath(path);
  if (!succeeded && !named.empty() && IsFreeOfLinks(named, path.substr(named.size() + 1))) {
    DeleteFileEvenReadOnly(path);
  }
  if (cause) cause->swap(why);  // empty on success
  return succeeded;
}
