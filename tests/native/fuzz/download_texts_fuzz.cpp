// libFuzzer target of what the update library reads from the server beside its answers' markup:
// Content-Length, the addresses to fetch and the download's size against the disk, the folders
// along a target path, a history id's time stamp, the PC tool's release list, an answer body's
// lines, and which downloaded files are code.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/core/code_content.h"
#include "common/core/download_rules.h"
#include "tests/native/fuzz/fuzz_input.h"
#include "updateclient/core/service.h"
#include "updateclient/core/text.h"
#include "updateclient/core/transfer.h"

using namespace qv::updateclient;
using qv::fuzz::Check;
using qv::fuzz::LowerAscii;
using qv::fuzz::Widened;

namespace {

void CheckContentLength(const std::string& text) {
  uint32_t size = 7;
  const bool read = ParseContentLength(text, size);
  // A size: blanks (spaces and tabs) around one run of decimal digits whose value fits in 32 bits.
  const size_t begin = text.find_first_not_of(" \t");
  const size_t end = text.find_last_not_of(" \t");
  bool digits = begin != std::string::npos;
  std::string value;
  if (digits) value = text.substr(begin, end - begin + 1);
  digits = digits && value.find_first_not_of("0123456789") == std::string::npos;
  std::string significant = value.substr(std::min(value.find_first_not_of('0'), value.size()));
  const bool fits = significant.size() < 10 || (significant.size() == 10 && significant <= "4294967295");
  Check(read == (digits && fits), "a size is decimal digits that fit in 32 bits", text);
  if (read) Check(std::to_string(size) == (significant.empty() ? "0" : significant), "a size reads as its digits", text);
  if (!read) Check(size == 7, "a text that is no size leaves the size alone", text);
}

void CheckDownload(const std::string& url, uint64_t announced, uint64_t freeBytes) {
  const std::string lower = LowerAscii(url);
  const bool http = (lower.rfind("http://", 0) == 0 && url.size() > 7) || (lower.rfind("https://", 0) == 0 && url.size() > 8);
  Check(qv::IsHttpAddress(url) == http, "only http:// and https:// addresses are fetched", url);
  Check(qv::IsHttpAddress(Widened(url)) == http, "the program and the library take the same addresses", url);
  Check(WhyAddressRefused(url).empty() == http, "an address that is not fetched is refused with a reason", url);

  const uint64_t budget = qv::DownloadByteBudget(freeBytes);
  Check(budget <= qv::kMaxDownloadBytes, "no download is larger than the file limit");
  Check(budget == 0 || freeBytes - budget >= qv::kDiskReserveBytes, "no download eats into the disk's reserve");
  Check(budget == std::min(qv::kMaxDownloadBytes, freeBytes > qv::kDiskReserveBytes ? freeBytes - qv::kDiskReserveBytes : 0),
        "a download may use all the room the limits leave");
  Check(qv::DownloadByteBudget(freeBytes / 2) <= budget, "less free space never allows more");
  Check(WhyDownloadRefused(url, announced, freeBytes).empty() == (http && announced <= budget),
        "a download starts exactly when its address and its size may", url);
}

void CheckFolders(const std::string& path) {
  const std::vector<std::string> folders = FoldersAlongPath(path);
  size_t expected = 0;
  for (size_t i = 3; i < path.size(); ++i) expected += path[i] == '\\' || path[i] == '/';
  Check(folders.size() == expected, "one folder for every separator after the drive", path);
  for (size_t i = 0; i < folders.size(); ++i) {
    const std::string& folder = folders[i];
    Check(path.compare(0, folder.size(), folder) == 0 && folder.size() < path.size() &&
              (path[folder.size()] == '\\' || path[folder.size()] == '/'),
          "a folder is the path up to a separator", path);
    if (i > 0) Check(folders[i - 1].size() < folder.size(), "folders come outermost first", path);
  }
}

void CheckBuffer(const std::string& text, size_t capacity) {
  char buffer[80];
  std::memset(buffer, 'G', sizeof buffer);
  capacity %= 64;
  CopyToBuffer(text, buffer, capacity);
  for (size_t i = capacity; i < sizeof buffer; ++i) Check(buffer[i] == 'G', "nothing is written past the capacity");
  if (capacity == 0) return;
  const size_t length = std::min(text.size(), capacity - 1);
  Check(std::memcmp(buffer, text.data(), length) == 0 && buffer[length] == '\0', "the buffer holds the text cut to fit",
        text);
  CopyToBuffer(text, nullptr, capacity);
}

void CheckLines(const std::string& body) {
  std::vector<std::string> converted;
  const std::string joined = ConvertLineByLine(body, [&converted](const std::string& line) {
    converted.push_back(line);
    return line.find('#') == std::string::npos ? "<" + line + ">" : std::string();  // '#': cannot be converted
  });
  // The lines as the body holds them: ended by LF (a CR before it belongs to the end), the last by
  // the body's end (a CR there belongs to the end too).
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i <= body.size(); ++i) {
    if (i == body.size() || body[i] == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (i < body.size() || !line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += body[i];
    }
  }
  std::string expected;
  std::vector<std::string> asked;
  for (const std::string& each : lines) {
    if (each.empty()) continue;
    asked.push_back(each);
    if (each.find('#') == std::string::npos) expected += "<" + each + ">";
  }
  Check(converted == asked, "every line that is not empty is converted on its own, in order", body);
  Check(joined == expected, "the converted lines are joined without line ends", body);
  const std::string trimmed = TrimText(body);
  Check(TrimText(trimmed) == trimmed && body.find(trimmed) != std::string::npos, "trimming is done once", body);
  Check(trimmed.empty() || (!IsSpace(trimmed.front()) && !IsSpace(trimmed.back())), "no white space is left at the ends",
        body);
}

void CheckHistoryId(const std::string& historyId, uint32_t bits) {
  LocalDateTime now{2000 + static_cast<int>(bits % 60), 1 + static_cast<int>(bits / 60 % 12), 1 + static_cast<int>(bits / 720 % 28),
                    static_cast<int>(bits / 20160 % 24), static_cast<int>(bits % 59), static_cast<int>(bits % 57), 0};
  const int elapsed = ElapsedSecondsWithinDay(historyId, now);
  Check(elapsed > -86400 && elapsed < 86400, "whole days are dropped from the time since the history began", historyId);
  const std::string id = FormatHistoryId("H:", now);
  Check(ElapsedSecondsWithinDay(id, now) == 0, "a history begun now has taken no time", id);
  Check(DownloadTimeFor("OK", historyId, now) == std::to_string(elapsed), "a download's time is its elapsed seconds");
}

void CheckPcToolScan(const std::vector<std::string>& versions, const std::vector<std::string>& uris) {
  PcToolRelease release{"old", "http://a/", "http://b/"};
  const bool found = ScanForPcTool(versions, uris, uris, release);
  const auto first = std::find_if(versions.begin(), versions.end(), [](const std::string& v) { return v.rfind("PXPC_", 0) == 0; });
  if (versions.empty()) {
    Check(found && release.version == "old", "an empty list leaves the release as it was");
    return;
  }
  Check(found == (first != versions.end()), "a release is found exactly when a version names the PC tool");
  if (found) {
    const size_t n = static_cast<size_t>(first - versions.begin());
    Check(release.version == *first && release.downloadUrl == (n < uris.size() ? uris[n] : std::string()),
          "the release is the first PC tool version with its own address", *first);
  } else {
    Check(release.version.empty() && release.downloadUrl.empty() && release.recommendedUrl.empty(),
          "without a release no address is left");
  }
}

// A name is code as Windows opens it: its last part without the dots and blanks that end it, then
// the extension after that part's last dot; any colon in the last part names a stream.
void CheckCodeName(const std::string& name) {
  if (name.find('\0') != std::string::npos) return;  // no such name reaches the system
  const size_t slash = name.find_last_of("\\/");
  std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
  bool code = last.find(':') != std::string::npos;
  last.erase(last.find_last_not_of(". ") == std::string::npos ? 0 : last.find_last_not_of(". ") + 1);
  const size_t dot = last.rfind('.');
  if (!code && dot != std::string::npos) {
    const std::string extension = LowerAscii(last.substr(dot + 1));
    for (const char* known : qv::kCodeExtensions) {
      code = code || extension == known;
    }
  }
  Check(qv::IsCodeFileName(name) == code, "a code file is told by its name as Windows reads it", name);
  Check(qv::IsCodeFileName(Widened(name)) == code, "the program and the library tell code names alike", name);
  const auto* head = reinterpret_cast<const unsigned char*>(name.data());
  Check(qv::IsCodeFile(name, head, name.size()) == (code || qv::CodeKindOfContent(head, name.size()) != qv::CodeKind::None),
        "a file is code by its content or by its name", name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::fuzz::FuzzInput input(data, size);
  const uint32_t bits = input.Number();
  const uint64_t announced = input.Number();
  const uint64_t freeBytes = (static_cast<uint64_t>(input.Number()) << 8) | (bits & 0xFF);
  CheckDownload(std::string(reinterpret_cast<const char*>(data), size), announced, freeBytes);
  CheckLines(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<std::string> versions, uris;
  while (!input.AtEnd()) {
    const std::string field = input.Narrow();
    CheckContentLength(field);
    CheckDownload(field, announced, freeBytes << (bits % 16));
    CheckFolders(field);
    CheckBuffer(field, bits);
    CheckHistoryId(field, bits);
    CheckCodeName(field);
    (versions.size() <= uris.size() ? versions : uris).push_back(field);
  }
  CheckPcToolScan(versions, uris);
  return 0;
}
