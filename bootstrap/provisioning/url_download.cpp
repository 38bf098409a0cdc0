// URLDownloadToFileW with a bind-status callback that records the HTTP status of the answer, so
// that an error page the moniker saved as the file is recognised and removed.
#include "bootstrap/provisioning/url_download.h"

#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <new>

#include "bootstrap/core/path_text.h"
#include "bootstrap/provisioning/files.h"
#include "bootstrap/provisioning/trace_log.h"
#include "common/core/unique_resource.h"
#include "common/win/file_identity.h"
#include "common/win/handles.h"
#include "common/win/internet_handle.h"
#include "common/win/internet_stream.h"

namespace {

// The moniker finds IHttpNegotiate by QueryInterface on the bind-status callback and passes the
// status line's code to OnResponse. Heap-allocated and reference counted, since the binding may
// hold a reference for as long as it likes.
class CHttpStatusCallback final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  CHttpStatusCallback() = default;
  CHttpStatusCallback(const CHttpStatusCallback&) = delete;
  CHttpStatusCallback& operator=(const CHttpStatusCallback&) = delete;

  // The last HTTP status the server answered with; 0 when no HTTP answer came.
  DWORD GetHttpStatus() const { return m_nHttpStatus.load(); }

  static bool IsSuccessStatus(DWORD status) { return status >= 200 && status <= 299; }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
      *object = static_cast<IBindStatusCallback*>(this);
    } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
      *object = static_cast<IHttpNegotiate*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_nRef); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = --m_nRef;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IBindStatusCallback: no progress for the caller, nothing to decide but the bind flags.
  STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
  STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO*) override {
    if (!flags) return E_INVALIDARG;
    *flags |= BINDF_GETNEWESTVERSION;  // the server's current file, not a cached copy
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

  // IHttpNegotiate: no extra request headers; the answer's status is kept. Aborting on an error
  // status spares the error page's transfer where the moniker honours it (Wine carries on).
  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override {
    if (additionalHeaders) *additionalHeaders = nullptr;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) override {
    if (additionalHeaders) *additionalHeaders = nullptr;
    m_nHttpStatus = status;
    return IsSuccessStatus(status) ? S_OK : E_ABORT;
  }

 private:
  ~CHttpStatusCallback() = default;  // only Release deletes

  std::atomic<LONG> m_nRef{1};
  std::atomic<DWORD> m_nHttpStatus{0};
};

// COM on the calling thread for the span of one call; a thread already in COM keeps its state.
class CComScope {
 public:
  CComScope() : m_bInitialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~CComScope() {
    if (m_bInitialized) ::CoUninitialize();
  }
  CComScope(const CComScope&) = delete;
  CComScope& operator=(const CComScope&) = delete;

 private:
  bool m_bInitialized;
};

// An HTTP or HTTPS URL, in any letter case of the scheme.
bool IsHttpUrl(const std::wstring& url) {
  auto startsWith = [&url](const wchar_t* scheme) {
    const size_t length = ::wcslen(scheme);
    return url.size() > length && ::_wcsnicmp(url.c_str(), scheme, length) == 0;
  };
  return startsWith(L"http://") || startsWith(L"https://");
}

// Ends a transfer's blocked wait from outside when the user cancels or the whole transfer's time
// is up: every quarter second it looks at both and, when one says so, closes the answer's handle,
// which on Windows makes a blocked WinINet call return at once. Wine lets that call go on until
// data comes or the receive timeout ends it, so there the download loop sees the cancel or the
// deadline at the next arrival, at most the idle limit later.
class CTransferWatch : public qv::bootstrap::DownloadWatch {
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

// Whether the downloaded file, open as |file|, is the one |path| names: a folder on the way that
// was swapped for a link while the download ran has carried it elsewhere.
bool IsStillAt(HANDLE file, const std::wstring& path) {
  if (qv::IsReachedAt(file, path)) return true;
  WriteTraceLog(FormatText(L"Download to [%ls] refused: the file is no longer there\r\n", path.c_str()));
  return false;
}

// Bounds connecting, sending and each wait for more of an answer on |handle| and what it opens.
void LimitWaits(HINTERNET handle, DWORD waitMs) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    ::InternetSetOptionW(handle, option, &waitMs, sizeof(waitMs));
  }
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
  LimitWaits(request, waitMs);
  if (!::HttpSendRequestW(request, nullptr, 0, nullptr, 0)) {
    ::InternetCloseHandle(request);
    return nullptr;
  }
  return request;
}

// One HTTP transfer through WinINet, every wait bounded: the connection, the request and each
// wait for more of the answer by the idle limit (WinINet's own timeouts), the whole by the loop.
BOOL DownloadHttp(const std::wstring& url, const std::wstring& path, const qv::bootstrap::DownloadLimits& limits,
                  const std::atomic<BOOL>* cancel) {
  const ULONGLONG started = ::GetTickCount64();
  qv::UniqueInternetHandle session(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return FALSE;
  const DWORD timeout = static_cast<DWORD>(limits.idleMs);
  LimitWaits(session.get(), timeout);
  qv::UniqueInternetHandle connection;
  qv::UniqueInternetHandle answer(OpenHttpAnswer(session.get(), url, timeout, connection));
  if (!answer) return FALSE;
  DWORD status = 0, size = sizeof(status);
  if (!::HttpQueryInfoW(answer.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) ||
      !CHttpStatusCallback::IsSuccessStatus(status)) {
    return FALSE;
  }
  // A new file of its own, written through one handle and never through a link: what was there
  // goes first, and a link or a file with another name, which stay, fail the creation.
  DeleteFileEvenReadOnly(path);
  qv::UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return FALSE;
  // A failed download leaves nothing: the file this call made is removed wherever it now lies.
  auto removeUnlessKept = qv::MakeScopeExit([&file] { qv::DeleteOpenFile(file.get()); });
  CTransferWatch watch(answer.get(), started, limits.totalMs, cancel);
  if (!watch.IsRunning()) return FALSE;
  qv::InternetSource source(answer.get());
  qv::FileSink sink(file.get());
  qv::bootstrap::DownloadEnd end = qv::bootstrap::RunDownload(source, sink, watch, limits);
  if (watch.Stop()) {
    answer.release();  // closed by the watch, which ended the wait
    if (end == qv::bootstrap::DownloadEnd::Complete) end = qv::bootstrap::DownloadEnd::Failed;
  }
  if (end != qv::bootstrap::DownloadEnd::Complete) {
    WriteTraceLog(FormatText(L"Download of [%ls] ended: %ls after %u ms\r\n", url.c_str(),
                             qv::bootstrap::DownloadEndText(end), static_cast<unsigned>(watch.ElapsedMs())));
    return FALSE;
  }
  if (!IsStillAt(file.get(), path)) return FALSE;
  removeUnlessKept.release();
  return TRUE;
}

BOOL DownloadWithMoniker(const std::wstring& url, const std::wstring& path) {
  CComScope com;
  CHttpStatusCallback* callback = new (std::nothrow) CHttpStatusCallback();
  if (!callback) return FALSE;
  const HRESULT result = ::URLDownloadToFileW(nullptr, url.c_str(), path.c_str(), 0, callback);
  const DWORD status = callback->GetHttpStatus();
  callback->Release();
  if (FAILED(result) || (status != 0 && !CHttpStatusCallback::IsSuccessStatus(status))) return FALSE;
  // Wine also reports success when the file could not be written (a missing folder).
  qv::UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  return file && ::GetFileInformationByHandle(file.get(), &info) && !qv::IsLinkOrSharedFile(info) &&
         IsStillAt(file.get(), path);
}

}  // namespace

BOOL DownloadUrlToFile(const std::wstring& url, const std::wstring& path, const qv::bootstrap::DownloadLimits& limits,
                       const std::atomic<BOOL>* cancel) {
  BOOL succeeded = FALSE;
  try {
    succeeded = IsHttpUrl(url) ? DownloadHttp(url, path, limits, cancel) : DownloadWithMoniker(url, path);
  } catch (...) {
    succeeded = FALSE;
  }
  // Only a file that is still where it was named is removed: through a link that was swapped in
  // on the way, the name would lead to someone else's file.
  const std::wstring folder = qv::bootstrap::FolderOfPath(path);
  if (!succeeded && !folder.empty() && IsFreeOfLinks(folder, path.substr(folder.size() + 1))) {
    DeleteFileEvenReadOnly(path);
  }
  return succeeded;
}
