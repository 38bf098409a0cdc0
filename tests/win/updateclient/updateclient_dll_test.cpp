// Runs under Wine against the fake update server: loads QVUTchkdl.dll by its plain name and calls
// its exports as the bootstrap program does, then reads the server's request log. The download
// routine is called directly. QV_FAKE_SERVER_DIR names the server's scenario folder and log.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/win/updateclient/trace_catcher.h"
#include "updateclient/QVUTchkdl.h"
#include "updateclient/win/agent_system.h"
#include "updateclient/win/transport.h"

using namespace qv::updateclient;

namespace {

struct Request {
  std::string port, path, query;
};

// The fake server's folder as this program sees it, through Wine's Z: drive.
std::string ServerFolder() {
  const char* dir = std::getenv("QV_FAKE_SERVER_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "/nonexistent");
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path + "\\";
}

std::string LocaleCountry() {
  char code[7] = {};
  GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME, code, sizeof(code));
  return code;
}

const std::string kClient = "/ksvc/b2c/client/";
const std::string kList = kClient + "buyer_autorun_swupload_list.jsp";

std::string Item(const std::string& version, const std::string& uri, const std::string& recommended) {
  std::string item = "<item><sw_version>" + version + "</sw_version><sw_uri>" + uri + "</sw_uri>";
  if (!recommended.empty()) item += "<sw_recommand_uri>" + recommended + "</sw_recommand_uri>";
  return item + "</item>";
}

std::string Accepted(const std::string& inner) { return "<result status=\\\"OK\\\">" + inner + "</result>"; }

// A route of the fake server's scenario: |path| answered as |fields| (JSON members) say.
std::string Route(const std::string& path, const std::string& fields) {
  return R"({"path": ")" + path + "\", " + fields + "}";
}
std::string Body(const std::string& body) { return R"("body": ")" + body + "\""; }

class UpdateClient : public ::testing::Test {
 protected:
  void SetUp() override {
    m_module = LoadLibraryA("QVUTchkdl.dll");
    ASSERT_NE(m_module, nullptr);
    m_check = Export<CheckPXPCProc>("CheckPXPC");
    m_report = Export<UpdateGBCforSyncProc>("UpdateGBCforSync");
    ASSERT_TRUE(m_check && m_report);
    // This PC's country is "ZZ" in region "Q"; the global list is region T, country GO.
    m_countryTable = Route(kClient + "ftp_country_info.jsp",
                           Body(Accepted("<country_code>ZZ</country_code><country_isocode>" + LocaleCountry() +
                                         "</country_isocode><region_code>Qx</region_code>")));
  }
  void TearDown() override { FreeLibrary(m_module); }

  template <typename Fn>
  Fn Export(const char* name) const {
    using Generic = void (*)();  // the one function type a FARPROC converts from without warning
    return reinterpret_cast<Fn>(reinterpret_cast<Generic>(GetProcAddress(m_module, name)));
  }

  // Replaces the server's routes (the country table always comes first) and empties its log.
  void Serve(const std::vector<std::string>& routes, const std::string& probe = R"({"status": 200})") {
    std::string json = "{\"probe\": " + probe + ", \"routes\": [" + m_countryTable;
    for (const std::string& route : routes) json += ", " + route;
    std::ofstream(ServerFolder() + "scenario.json", std::ios::binary) << json << "]}";
    std::ofstream(ServerFolder() + "requests.log", std::ios::binary | std::ios::trunc);
  }

  static std::vector<Request> ServiceRequests() {
    std::ifstream log(ServerFolder() + "requests.log", std::ios::binary);
    std::vector<Request> requests;
    for (std::string line; std::getline(log, line);) {
      std::istringstream fields(line);
      Request r;
      std::string method;
      std::getline(fields, r.port, '\t');
      std::getline(fields, method, '\t');
      std::getline(fields, r.path, '\t');
      std::getline(fields, r.query);
      if (r.port == "service") requests.push_back(r);
    }
    return requests;
  }

  struct Outputs {
    int returned;
    std::string download, recommended, result;
    bool untouched;  // the address buffers still hold what the caller put there
  };

  Outputs Check() {
    std::vector<char> download(300, 'z'), recommended(300, 'z'), result(300, 'z');
    Outputs out;
    out.returned = m_check("TRUE", "", download.data(), recommended.data(), result.data());
    for (auto* buffer : {&download, &recommended, &result}) {  // nothing past the agreed sizes
      size_t agreed = buffer == &result ? QVUT_RESULT_BUFFER_BYTES : QVUT_URL_BUFFER_BYTES;
      EXPECT_EQ(std::string(buffer->begin() + agreed, buffer->end()), std::string(300 - agreed, 'z'));
    }
    out.untouched = download[0] == 'z' && recommended[0] == 'z';
    out.download = out.untouched ? "" : download.data();
    out.recommended = out.untouched ? "" : recommended.data();
    out.result = result.data();
    return out;
  }

  HMODULE m_module = nullptr;
  CheckPXPCProc m_check = nullptr;
  UpdateGBCforSyncProc m_report = nullptr;
  std::string m_countryTable;
};

TEST_F(UpdateClient, UnreachableServerEndsTheCheckBeforeAnyRequest) {
  for (const char* probe : {R"({"refuse": true})", R"({"status": 503})"}) {
    Serve({Route(kList, R"("query": {"region": "Q"}, )" + Body(Accepted(Item("PXPC_1", "u", "r"))))}, probe);
    Outputs out = Check();
    EXPECT_EQ(out.returned, 0);
    EXPECT_EQ(out.result, "MSG_SERVER_CONN_ERROR");
    EXPECT_TRUE(out.untouched);
    EXPECT_TRUE(ServiceRequests().empty());
  }
}

// Which list is asked, and when the global one is, is the tool check's own test; here the export
// over the real transfer asks the country table, then the list of this PC's region. The answer is
// read whatever its status, from its first tag, converted from UTF-8 and cut to the caller's buffer.
TEST_F(UpdateClient, CompleteItemCostsOneListRequestInThisPcsRegionWhateverTheAnswersStatus) {
  const std::string longUri = "http://h/" + std::string(5000, 'a');
  Serve({Route(kList, R"("query": {"region": "Q"}, "status": 500, "prefix": "\ufeff junk ", )" +
                          Body(Accepted(Item("APP_2", "x", "y") + Item("PXPC_1.0", longUri, "http://h/caf\u00e9/"))))});
  Outputs out = Check();
  EXPECT_EQ(out.returned, 1);
  EXPECT_EQ(out.result, "MSG_SUCCESS");
  EXPECT_EQ(out.download, longUri.substr(0, QVUT_URL_BUFFER_BYTES - 1));
  char cafe[16] = {};
  WideCharToMultiByte(CP_ACP, 0, L"http://h/caf\u00e9/", -1, cafe, sizeof(cafe), nullptr, nullptr);
  EXPECT_EQ(out.recommended, cafe);
  std::vector<Request> requests = ServiceRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].path, kClient + "ftp_country_info.jsp");
  EXPECT_EQ(requests[1].path, kList);
  EXPECT_EQ(requests[1].query, "model=&buyer=&region=Q&country=ZZ");
}

// What the result words of a failed or rejected list are is the tool check's own test; here an
// empty answer over the real transfer reads as none, and an answer that drips past its deadline is
// given up on the clock of the real transfer (the size and tag limits end it the same way).
TEST_F(UpdateClient, EmptyOrDrippedListAnswersAreNoAnswer) {
  Serve({Route(kList, R"("empty": true)")});
  Outputs out = Check();
  EXPECT_EQ(out.returned, 0);
  EXPECT_EQ(out.result, "MSG_SERVER_FAIL");
  EXPECT_TRUE(out.untouched);
  EXPECT_EQ(ServiceRequests().size(), 2u);  // no global fallback after an empty answer

  // Ten bytes a second of a 1000-byte answer would take 100 s; the deadline of 2 s (the service's
  // is a minute) ends it.
  Serve({Route(kList, R"("size": 1000, "rate": 10)")});
  ULONGLONG started = GetTickCount64();
  EXPECT_EQ(HttpGetMarkup("http://127.0.0.1:19002" + kList, 2000), "");
  ULONGLONG took = GetTickCount64() - started;
  EXPECT_GE(took, 2000u);
  EXPECT_LT(took, 6000u);
  EXPECT_NE(FailureCause().find("did not end in time"), std::string::npos) << FailureCause();
}

// Each record asks the country table, then sends the record; an unknown status sends nothing, and
// a record the server rejects fails.
TEST_F(UpdateClient, UsageStatisticsRecordsAndTheirRefusals) {
  Serve({Route(kClient + "ric_hit_rate_pcsync_log.jsp", Body(Accepted("")))});
  char id[QVUT_HISTORY_ID_BUFFER_BYTES + 8], result[QVUT_RESULT_BUFFER_BYTES];
  std::memset(id, 'z', sizeof(id));
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(m_report("", "START", id, result), 1);
  EXPECT_STREQ(result, "MSG_SUCCESS");
  std::string historyId = id;
  ASSERT_EQ(historyId.size(), 15u);
  char date[7];
  snprintf(date, sizeof(date), "%02d%02d%02d", now.wYear % 100, now.wMonth, now.wDay);
  EXPECT_EQ(historyId.substr(0, 6), date);

  EXPECT_EQ(m_report(historyId.c_str(), "OK", id, result), 1);
  EXPECT_STREQ(result, "MSG_SUCCESS");
  EXPECT_EQ(m_report("ignored", "FAIL", id, result), 1);
  std::vector<Request> requests = ServiceRequests();
  ASSERT_EQ(requests.size(), 6u);
  const std::string common = "region=Q&country=ZZ&status=";
  const std::string fields = "&ric=GLOBAL&client=PXPC_DN&model=&esn=&version=&history_id=";
  EXPECT_EQ(requests[1].query, common + "START" + fields + historyId + "&userid=&filesize=0&download_time=0.1");
  EXPECT_EQ(requests[5].query, common + "FAIL" + fields + "&userid=&filesize=0&download_time=0.5");
  std::string okPrefix = common + "OK" + fields + historyId + "&userid=&filesize=0&download_time=";
  ASSERT_EQ(requests[3].query.substr(0, okPrefix.size()), okPrefix);
  int elapsed = std::atoi(requests[3].query.substr(okPrefix.size()).c_str());
  EXPECT_TRUE(elapsed >= 1 && elapsed <= 5) << elapsed;  // the export waits a second first

  Serve({});
  char kept[8] = "keep";
  EXPECT_EQ(m_report("", "ok", kept, result), 1);
  EXPECT_STREQ(result, "MSG_FAIL");
  EXPECT_STREQ(kept, "keep");
  EXPECT_TRUE(ServiceRequests().empty());
  // No statistics page: rejected, and a long prefix is cut to the id buffer.
  std::memset(id, 'z', sizeof(id));
  EXPECT_EQ(m_report(std::string(40, 'p').c_str(), "START", id, result), 1);
  EXPECT_STREQ(result, "MSG_FAIL");
  EXPECT_EQ(std::string(id), std::string(QVUT_HISTORY_ID_BUFFER_BYTES - 1, 'p'));
  EXPECT_EQ(id[QVUT_HISTORY_ID_BUFFER_BYTES], 'z');
}

const std::string kFileUrl = "http://127.0.0.1:19002/pkg/file.bin";

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

class Download : public UpdateClient {
 protected:
  // Downloads |url| (/pkg/file.bin served with |fields|) to a new file of the server's folder,
  // which holds |planted| first when given; |written| receives what is there afterwards ("<none>":
  // no file). The busy flag is set exactly when the download started.
  DownloadOutcome Fetch(const std::string& fields, std::string& written, const char* planted = nullptr,
                        const std::string& url = kFileUrl) {
    Serve({Route("/pkg/file.bin", fields)});
    const std::string target = ServerFolder() + "downloaded.bin";
    DeleteFileA(target.c_str());
    if (planted) std::ofstream(target, std::ios::binary) << planted;
    std::atomic<int> cancel{0}, busy{0};
    const DownloadOutcome outcome = DownloadToFile(url, target, nullptr, cancel, busy);
    EXPECT_EQ(busy.load(), outcome == DownloadOutcome::kNotStarted ? 0 : 1);
    std::ifstream file(target, std::ios::binary);
    written = file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<none>";
    file.close();
    DeleteFileA(target.c_str());
    return outcome;
  }
};

TEST_F(Download, WhatIsWrittenForEachAnswer) {
  const struct {
    const char* why;
    std::string fields;
    const char* planted;
    DownloadOutcome outcome;
    std::string written;
  } cases[] = {
      {"too small: not even created", R"("size": 29999)", nullptr, DownloadOutcome::kNotStarted, "<none>"},
      {"the smallest size taken", R"("size": 30000)", nullptr, DownloadOutcome::kComplete, Pattern(30000)},
      {"interrupted: the partial file stays", R"("size": 40000, "close_after": 20000)", nullptr,
       DownloadOutcome::kIncomplete, Pattern(20000)},
      // The file changed between the size request and the transfer, and neither length is the
      // file's: nothing of it is taken.
      {"another length announced", R"("sizes": [40000, 30000])", nullptr, DownloadOutcome::kIncomplete, ""},
      // Another program's file, or a link: the download makes a new file of its own or nothing.
      {"a file already at the target", R"("size": 40000)", "not yours", DownloadOutcome::kNotStarted, "not yours"},
      {"an error page", R"("size": 40000, "status": 404)", nullptr, DownloadOutcome::kNotStarted, "<none>"},
      {"a length that is no plain number", R"("size": 40000, "headers": {"Content-Length": "40000x"})", nullptr,
       DownloadOutcome::kNotStarted, "<none>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    std::string written;
    EXPECT_EQ(Fetch(c.fields, written, c.planted), c.outcome);
    EXPECT_TRUE(written == c.written) << written.size() << " bytes";  // not printed: up to 30 KB
  }
}

// Only HTTP addresses are fetched (which ones are is the transfer rules' own test), and a file
// announced larger than a download may take is never begun: nothing is created, whatever the
// server would send, and each refusal is traced.
TEST_F(Download, OtherSchemesAndOversizedFilesAreRefusedBeforeAnythingIsWritten) {
  const std::string local = ServerFolder() + "local.bin", url = "file:///" + local;
  std::ofstream(local, std::ios::binary) << Pattern(40000);
  std::string written;
  {
    CTraceCatcher trace;
    EXPECT_EQ(Fetch(R"("size": 40000)", written, nullptr, url), DownloadOutcome::kNotStarted);
    EXPECT_TRUE(written == "<none>") << written.size();
    EXPECT_EQ(GetRemoteFileSize(url), 0u);
    EXPECT_EQ(HttpGetMarkup(url), "");
    const std::string refused = "[KSVC_UT]   Download refused, not an HTTP address: [" + url + "]";
    EXPECT_EQ(trace.Lines(), (std::vector<std::string>{refused, refused, refused}));
  }
  DeleteFileA(local.c_str());
  EXPECT_TRUE(ServiceRequests().empty());  // not even the size was asked for

  // Announced past the 1 GiB a file may take (the body itself is small): refused at the size.
  CTraceCatcher trace;
  EXPECT_EQ(Fetch(R"("size": 40000, "content_length": 1073741825)", written), DownloadOutcome::kNotStarted);
  EXPECT_TRUE(written == "<none>") << written.size();
  EXPECT_EQ(trace.Lines(), std::vector<std::string>{"[KSVC_UT]   Download refused, 1073741825 bytes announced, "
                                                    "1073741824 allowed: [" + kFileUrl + "]"});
}

// The launcher reads its request at its start: when the request cannot be written, the call fails
// and nothing is started. The system refuses a lasting key below a volatile one
// (ERROR_CHILD_MUST_BE_VOLATILE), which makes the maker's key impossible to create.
TEST_F(UpdateClient, StartUpdateFailsAndStartsNothingWhenItsRequestCannotBeWritten) {
  auto start = Export<int(__stdcall*)()>("StartUpdate");
  ASSERT_NE(start, nullptr);
  const char kParent[] = "Software\\LowRegistry\\QV Electronics Inc";
  RegDeleteTreeA(HKEY_CURRENT_USER, kParent);
  HKEY parent = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kParent, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &parent, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(parent);
  int started = -1;
  std::vector<std::string> lines;
  {
    CTraceCatcher trace;
    started = start();
    lines = trace.Lines();
  }
  RegDeleteTreeA(HKEY_CURRENT_USER, kParent);
  RegDeleteKeyA(HKEY_CURRENT_USER, kParent);
  EXPECT_EQ(started, 0);
  ASSERT_EQ(lines.size(), 3u) << (lines.empty() ? "" : lines.back());
  EXPECT_EQ(lines[1], "[KSVC_UT]   Phone software update tool - Call START");
  EXPECT_EQ(lines[2], "[KSVC_UT]   Registry write failed: [HKCU\\Software\\LowRegistry\\QV Electronics "
                      "Inc\\QVMobileAX] cannot be opened or created, error 1021");
}

// An agent found by its name is ended only while its id still names a program of that name: the
// id of a process that ended may already belong to another program.
TEST(UpdateClientProcesses, OnlyTheProgramSearchedForIsEnded) {
  char command[] = "cmd.exe /c exit";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                             nullptr, &startup, &started));
  CloseHandle(started.hThread);
  EXPECT_NE(FindProcessByName("CMD.EXE"), 0u);  // in this session, in any letter case
  EXPECT_FALSE(KillProcessById(started.dwProcessId, "CBWNotiAgent.exe"));
  EXPECT_EQ(WaitForSingleObject(started.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(KillProcessById(started.dwProcessId, "cmd.exe"));
  EXPECT_EQ(WaitForSingleObject(started.hProcess, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(started.hProcess);
  EXPECT_TRUE(KillProcessById(0, "cmd.exe"));  // nothing found: nothing to end
}

// Which folders lie along a path, in either separator, is the service text's own test; here each
// is made on the disk, outermost first, and the file name is not.
TEST(UpdateClientFiles, CreateFolderPathMakesEveryFolderButTheFileName) {
  const std::string root = ServerFolder() + "made";
  auto isFolder = [](const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  };
  EXPECT_TRUE(CreateFolderPath(root + "\\a/b\\c/file.cab"));
  for (const char* folder : {"\\a", "\\a\\b", "\\a\\b\\c"}) {
    EXPECT_TRUE(isFolder(root + folder)) << folder;
  }
  EXPECT_EQ(GetFileAttributesA((root + "\\a\\b\\c\\file.cab").c_str()), INVALID_FILE_ATTRIBUTES);
  for (const char* folder : {"\\a\\b\\c", "\\a\\b", "\\a", ""}) {
    RemoveDirectoryA((root + folder).c_str());
  }
}

}  // namespace
