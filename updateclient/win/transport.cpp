// WinINet requests of the update client. Every call opens its own session and closes it before
// returning; requests bypass the cache so each one reaches the server.
#include "updateclient/win/transport.h"

#include <wininet.h>

#include <vector>

#include "common/core/download_loop.h"
#include "common/core/network_error.h"
#include "common/win/ansi_text.h"
#include "common/win/handles.h"
#include "common/win/internet_stream.h"
#include "common/win/internet_waits.h"
#include "updateclient/core/text.h"
#include "updateclient/core/transfer.h"
#include "updateclient/service_endpoints.h"
#include "updateclient/win/library_trace.h"

namespace qv::updateclient {

namespace {

const char kDownloadAgent[] = "QVE-NetPull/0.9";
constexpr DWORD kUncachedFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;  // 0x84000000

DWORD StatusCode(HINTERNET request) {
  DWORD status = 0, size = sizeof(status);
  if (!::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
  return status;
}

// A session with every wait bounded; null when WinINet cannot open one.
HINTERNET OpenSession(const char* agent) {
  HINTERNET session = ::InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session) qv::LimitInternetWaits(session, static_cast<DWORD>(kAnswerDeadlineMs));
  return session;
}

// True for an address the transport fetches (http: or https:); a refusal is traced and noted.
bool IsFetchable(const std::string& url) {
  const std::string why = WhyAddressRefused(url);
  UtTrace(why);
  if (!why.empty()) NoteFailureCause(why);
  return why.empty();
}

// Notes "GET <url> failed with WinINet error N (...)" with the error of the last WinINet call.
void NoteNetworkFailure(const std::string& url) {
  NoteFailureCause("GET " + url + " failed with " + InternetErrorText(::GetLastError()));
}

// The library's one failure cause, shared by whichever thread asks; one short text under a lock.
SRWLOCK g_causeLock = SRWLOCK_INIT;
char g_cause[512] = {};

}  // namespace

void ForgetFailureCause() { NoteFailureCause(std::string()); }

void NoteFailureCause(const std::string& cause) {
  ::AcquireSRWLockExclusive(&g_causeLock);
  const size_t length = cause.copy(g_cause, sizeof(g_cause) - 1);
  g_cause[length] = '\0';
  ::ReleaseSRWLockExclusive(&g_causeLock);
}

std::string FailureCause() {
  ::AcquireSRWLockShared(&g_causeLock);
  std::string cause(g_cause);
  ::ReleaseSRWLockShared(&g_causeLock);
  return cause;
}

bool IsServerReachable(const std::string& host) {
  const std::string address = "http://" + host + ":" + std::to_string(kProbePort) + "/";
  UniqueInternetHandle session(OpenSession("Mirror session"));
  UniqueInternetHandle connection(session ? ::InternetConnectA(session.get(), host.c_str(), kProbePort, nullptr,
                                                               nullptr, INTERNET_SERVICE_HTTP, 0, 1)
                                          : nullptr);
  UniqueInternetHandle request(connection ? ::HttpOpenRequestA(connection.get(), "GET", "", nullptr, nullptr, nullptr,
                                                               INTERNET_FLAG_EXISTING_CONNECT, 1)
                                          : nullptr);
  if (request) {
    ::HttpAddRequestHeadersA(request.get(), "Content-Type: application/x-www-form-urlencoded",
                             static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD_IF_NEW);
  }
  if (!request || !::HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) {
    NoteNetworkFailure(address);
    return false;
  }
  const DWORD status = StatusCode(request.get());
  NoteFailureCause(status == 200 ? std::string() : "GET " + address + " answered HTTP " + std::to_string(status));
  return status == 200;
}

std::string HttpGetMarkup(const std::string& url, uint64_t deadlineMs) {
  if (!IsFetchable(url)) return std::string();
  const ULONGLONG started = ::GetTickCount64();
  UniqueInternetHandle session(OpenSession(""));
  UniqueInternetHandle file(session ? ::InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0,
                                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_TRANSFER_BINARY, 1)
                                    : nullptr);
  if (!file) {
    NoteNetworkFailure(url);
    return std::string();
  }
  // The answer is read whatever its status, as the service's answers always were; a status other
  // than success is what support is told when the answer then fails.
  const DWORD status = StatusCode(file.get());
  const std::string answered = "GET " + url + " answered HTTP " + std::to_string(status);
  std::string body;
  InternetSource source(file.get());
  if (!ReadWholeAnswer(source, body, [started] { return ::GetTickCount64() - started; }, deadlineMs) ||
      !IsWithinAnswerLimits(body)) {
    NoteFailureCause(answered + ", and its answer did not end in time or is larger than allowed");
    return std::string();
  }

  // Line by line, as text: line ends dropped, each line converted from UTF-8 on its own.
  std::string markup = MarkupFromBody(ConvertLineByLine(body, [](const std::string& line) {
    return qv::ToAnsi(qv::FromUtf8(line.data(), line.size()));
  }));
  if (status < 200 || status > 299) {
    NoteFailureCause(answered);
  } else {
    NoteFailureCause(markup.empty() ? answered + " without markup" : std::string());
  }
  return markup;
}

// The Content-Length of an open answer that succeeded (2xx); 0 for an error page, however long, and
// for a missing or malformed length.
uint32_t AnnouncedLength(HINTERNET file) {
  DWORD status = StatusCode(file);
  if (status < 200 || status > 299) return 0;
  char length[32] = {};
  DWORD size = sizeof(length) - 1;
  if (!::HttpQueryInfoA(file, HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) return 0;
  uint32_t bytes = 0;
  return ParseContentLength(length, bytes) ? bytes : 0;
}

namespace {

// The announced size of |url|, an address already found fetchable.
uint32_t AnnouncedSizeOf(const std::string& url) {
  UniqueInternetHandle session(OpenSession(kDownloadAgent));
  if (!session) return 0;
  UniqueInternetHandle file(::InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0, kUncachedFlags, 0));
  if (!file) return 0;
  return AnnouncedLength(file.get());
}

// The bytes the disk of |filePath|'s folder has free for this caller; 0 when they cannot be read,
// which leaves no room for any download.
uint64_t FreeBytesBeside(const std::string& filePath) {
  const size_t end = filePath.find_last_of("\\/");
  const std::string folder = end == std::string::npos ? std::string(".\\") : filePath.substr(0, end + 1);
  ULARGE_INTEGER available{};
  return ::GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr) ? available.QuadPart : 0;
}

}  // namespace

uint32_t GetRemoteFileSize(const std::string& url) { return IsFetchable(url) ? AnnouncedSizeOf(url) : 0; }

namespace {

// The transfer's clock and the dialog's cancel request, for the download loop.
class CCancelWatch final : public qv::DownloadWatch {
 public:
  explicit CCancelWatch(const std::atomic<int>& cancelRequested)
      : m_cancelRequested(cancelRequested), m_nStarted(::GetTickCount64()) {}
  uint64_t ElapsedMs() const override { return ::GetTickCount64() - m_nStarted; }
  bool Cancelled() const override { return m_cancelRequested.load() != 0; }

 private:
  const std::atomic<int>& m_cancelRequested;
  ULONGLONG m_nStarted;
};

}  // namespace

DownloadOutcome DownloadToFile(const std::string& url, const std::string& filePath, qv::DownloadObserver* observer,
                               const std::atomic<int>& cancelRequested, std::atomic<int>& busy) {
  if (!IsFetchable(url)) return DownloadOutcome::kNotStarted;
  const uint32_t size = AnnouncedSizeOf(url);
  if (size < kSmallestDownloadBytes) return DownloadOutcome::kNotStarted;
  const std::string tooLarge = WhyDownloadRefused(url, size, FreeBytesBeside(filePath));
  if (!tooLarge.empty()) {
    UtTrace(tooLarge);
    return DownloadOutcome::kNotStarted;
  }
  if (observer) observer->OnSizeKnown(size);

  busy = 1;
  // A new file of its own: an existing name (a link, or a file planted there) is never written.
  qv::UniqueFileHandle file(::CreateFileA(filePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) {
    busy = 0;
    return DownloadOutcome::kNotStarted;
  }
  UniqueInternetHandle session(OpenSession(kDownloadAgent));
  UniqueInternetHandle remote(
      session ? ::InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0, kUncachedFlags, 0) : nullptr);
  // The transfer's own answer must be a success announcing the size asked for first: an error
  // page, or a file that changed between the two requests, is not the file that was sized.
  if (remote && AnnouncedLength(remote.get()) != size) remote.reset();
  InternetSource source(remote.get());
  FileSink sink(file.get());
  // The announced size is the whole file; the sessions' receive timeout bounds each wait.
  qv::DownloadLimits limits;
  limits.idleMs = 0;
  limits.expectedBytes = size;
  const CCancelWatch watch(cancelRequested);
  const qv::DownloadEnd end = qv::RunDownload(source, sink, watch, limits, observer);
  return end == qv::DownloadEnd::Complete ? DownloadOutcome::kComplete : DownloadOutcome::kIncomplete;
}

bool CreateFolderPath(const std::string& path) {
  for (const std::string& folder : FoldersAlongPath(path)) ::CreateDirectoryA(folder.c_str(), nullptr);
  return true;
}

}  // namespace qv::updateclient
