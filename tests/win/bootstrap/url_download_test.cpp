// Runs under Wine against a fake server on loopback: DownloadUrlToFile with success and error
// answers, slow, silent and cancelled ones, into new and existing files, from the program's
// threads. QV_URL_SERVER_DIR names the server's scenario folder and QV_URL_SERVER_PORT its port.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <utility>
#include <thread>

#include "bootstrap/provisioning/url_download.h"
#include "tests/win/test_files.h"

namespace {

using qv::test::ReadAll;
using qv::test::WriteAll;

const wchar_t kClosedPort[] = L"19014";  // nothing listens there

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = L"";
  ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return value;
}

// The server's folder as this program sees it, through Wine's Z: drive.
std::wstring ServerFolder() {
  std::wstring path = L"Z:" + Environment(L"QV_URL_SERVER_DIR");
  for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
  return path + L"\\";
}

std::wstring Url(const std::wstring& path, const std::wstring& port = Environment(L"QV_URL_SERVER_PORT")) {
  return L"http://127.0.0.1:" + port + path;
}

// Every byte value, CR LF pairs and NULs among them, so that any translation or truncation shows.
std::string Payload(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + i / 256) % 256);
  return data;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class UrlDownload : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Environment(L"QV_URL_SERVER_DIR").empty()) << "run through ctest";
    wchar_t temp[MAX_PATH] = L"";
    ::GetTempPathW(MAX_PATH, temp);
    m_strFolder = std::wstring(temp) + L"qv_url_download_test\\";
    ::CreateDirectoryW(m_strFolder.c_str(), nullptr);
    ::CreateDirectoryW((ServerFolder() + L"files").c_str(), nullptr);
    m_strTarget = m_strFolder + L"download.bin";
    ::SetFileAttributesW(m_strTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(m_strTarget.c_str());
    Serve(R"({"path": "/missing", "status": 404, "body": "<html>Not Found</html>"},
             {"path": "/broken", "status": 500, "body": "<html>Internal Server Error</html>"},
             {"path": "/created", "status": 201, "body": "created body"})");
  }

  static void Serve(const std::string& routes) {
    WriteAll(ServerFolder() + L"scenario.json", "{\"routes\": [" + routes + "]}");
  }

  // A file the server hands out with status 200.
  static std::wstring Publish(const std::wstring& name, const std::string& bytes) {
    WriteAll(ServerFolder() + L"files\\" + name, bytes);
    return Url(L"/" + name);
  }

  std::wstring m_strFolder, m_strTarget;
};

// Any 2xx answer counts, and WinINet takes the scheme in any letters; a success leaves no cause.
TEST_F(UrlDownload, AnySuccessfulAnswerArrivesByteExactAndReplacesAnExistingFile) {
  const std::string package = Payload(300000);
  ASSERT_TRUE(DownloadUrlToFile(Publish(L"package.bin", package), m_strTarget));
  EXPECT_TRUE(ReadAll(m_strTarget) == package) << "got " << ReadAll(m_strTarget).size() << " bytes";

  const std::string config = "[FILES]\r\nfilecount=1\r\n";  // smaller than what is there now
  const std::wstring published = Publish(L"serverconfig.ini", config);
  std::wstring cause = L"stale";
  ASSERT_TRUE(DownloadUrlToFile(L"HTTP" + published.substr(4), m_strTarget, {}, nullptr, nullptr, &cause));
  EXPECT_EQ(ReadAll(m_strTarget), config);
  EXPECT_EQ(cause, L"");

  EXPECT_TRUE(DownloadUrlToFile(Url(L"/created"), m_strTarget));
  EXPECT_EQ(ReadAll(m_strTarget), "created body");
}

// A failure tells its cause and removes what was at the target, even a read-only file. Which
// addresses are HTTP ones is the download rules' own test (and fuzz target); here a local file is
// never reached.
TEST_F(UrlDownload, AFailureTellsItsCauseAndLeavesNoFile) {
  const std::wstring source = m_strFolder + L"local source.bin";
  WriteAll(source, "local bytes\r\n");
  std::wstring local = L"file:///" + source;
  for (wchar_t& c : local) c = c == L'\\' ? L'/' : c;
  const std::wstring unwritable = m_strFolder + L"no such folder\\download.bin";
  const struct {
    std::wstring url, target;
    const char* previous;  // what the target holds before, when anything
    bool readOnly;
    std::wstring cause;
  } cases[] = {
      {Url(L"/broken"), m_strTarget, nullptr, false, L"GET " + Url(L"/broken") + L" answered HTTP 500"},
      {Url(L"/broken"), m_strTarget, "the previous download", false, L"GET " + Url(L"/broken") + L" answered HTTP 500"},
      {Url(L"/missing"), m_strTarget, "a read-only previous download", true,
       L"GET " + Url(L"/missing") + L" answered HTTP 404"},
      {Url(L"/package.bin", kClosedPort), m_strTarget, nullptr, false,
       L"GET " + Url(L"/package.bin", kClosedPort) + L" failed with WinINet error 12029 (cannot connect)"},
      {local, m_strTarget, "the previous download", false, L"[" + local + L"] refused: not an HTTP address"},
      {Publish(L"small.bin", "small"), unwritable, nullptr, false,
       L"[" + unwritable + L"] cannot be created (system error 3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cause);
    if (c.previous) WriteAll(c.target, c.previous);
    if (c.readOnly) ::SetFileAttributesW(c.target.c_str(), FILE_ATTRIBUTE_READONLY);
    std::wstring cause = L"stale";
    EXPECT_FALSE(DownloadUrlToFile(c.url, c.target, {}, nullptr, nullptr, &cause));
    EXPECT_EQ(cause, c.cause);
    EXPECT_FALSE(Exists(c.target)) << ReadAll(c.target);
  }
}

// Every HTTP transfer has an end: a file larger than the caller allows (the limit to the byte is
// the download loop's own test), a server that drips, one that falls silent, and the user's Cancel
// each end it within moments of the limit, and leave no file.
TEST_F(UrlDownload, LargeSlowSilentOrCancelledTransfersEndInTimeAndLeaveNoFile) {
  Serve(R"({"path": "/drip", "size": 4000, "rate": 100},
           {"path": "/stall", "size": 4000, "pause_after": 100, "pause": 30},
           {"path": "/quick", "size": 4000})");
  qv::DownloadLimits large;
  large.maxBytes = 49999;
  const struct {
    const char* why;
    std::wstring url;
    qv::DownloadLimits limits;
    DWORD cancelAfterMs;  // 0: never cancelled
    ULONGLONG fromMs, belowMs;
  } cases[] = {
      {"a byte larger than allowed", Publish(L"large.bin", std::string(50000, 'x')), large, 0, 0, 8000},
      {"40 s of data, 2 s allowed", Url(L"/drip"), {10000, 2000}, 0, 2000, 6000},
      {"silent for 30 s after 100 bytes", Url(L"/stall"), {2000, 0}, 0, 0, 8000},
      {"cancelled after a second", Url(L"/drip"), {10000, 0}, 1000, 0, 4000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    std::atomic<BOOL> cancel{FALSE};
    std::thread user([&cancel, &c] {
      if (c.cancelAfterMs == 0) return;
      ::Sleep(c.cancelAfterMs);
      cancel = TRUE;
    });
    const ULONGLONG started = ::GetTickCount64();
    EXPECT_FALSE(DownloadUrlToFile(c.url, m_strTarget, c.limits, c.cancelAfterMs ? &cancel : nullptr));
    const ULONGLONG took = ::GetTickCount64() - started;
    user.join();
    EXPECT_GE(took, c.fromMs);
    EXPECT_LT(took, c.belowMs);
    EXPECT_FALSE(Exists(m_strTarget));
  }
  EXPECT_TRUE(DownloadUrlToFile(Url(L"/quick"), m_strTarget, {2000, 2000}));
  EXPECT_EQ(ReadAll(m_strTarget).size(), 4000u);
}

// The program calls from its worker thread (no COM yet) and from its window thread (a single-
// threaded apartment); a thread's COM state is the same after the call as before it.
TEST_F(UrlDownload, WorksOnTheProgramsThreadsAndLeavesTheirComStateAsItWas) {
  const std::wstring good = Publish(L"small.bin", "small");
  auto run = [&](bool initialised) {  // the download's result, then CoInitializeEx's after it
    std::pair<BOOL, HRESULT> out{FALSE, E_FAIL};
    std::thread([&] {
      if (initialised) ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      out.first = DownloadUrlToFile(good, m_strTarget);
      out.second = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      ::CoUninitialize();
      if (initialised) ::CoUninitialize();
    }).join();
    return out;
  };
  const auto fresh = run(false);
  EXPECT_TRUE(fresh.first);
  EXPECT_EQ(fresh.second, S_OK) << "COM left initialised";
  const auto apartment = run(true);
  EXPECT_TRUE(apartment.first);
  EXPECT_EQ(apartment.second, S_FALSE) << "the caller's COM was uninitialised";
}

}  // namespace
