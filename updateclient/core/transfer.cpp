// Answer reading, address and size rules and folder splitting, portable so that their edge cases
// are tested natively.
#include "updateclient/core/transfer.h"

#include "common/core/download_rules.h"
#include "updateclient/core/text.h"

namespace qv::updateclient {

bool ReadWholeAnswer(ByteSource& source, std::string& body, const std::function<uint64_t()>& elapsedMs,
                     uint64_t deadlineMs) {
  constexpr uint32_t kChunk = 64 * 1024;
  for (;;) {
    if (body.size() > kLargestAnswerBytes || elapsedMs() > deadlineMs) return false;
    uint32_t available = 0;
    if (!source.QueryAvailable(available)) return false;
    if (available == 0) return true;  // the end of the answer
    const size_t used = body.size();
    const uint32_t wanted = available < kChunk ? available : kChunk;
    body.resize(used + wanted);
    uint32_t received = 0;
    if (!source.Read(&body[used], wanted, received) || received > wanted) return false;
    body.resize(used + received);
    if (received == 0) return true;
  }
}

bool ParseContentLength(const std::string& text, uint32_t& size) {
  size_t begin = text.find_first_not_of(" \t");
  size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) return false;
  uint64_t value = 0;
  for (size_t i = begin; i <= end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  size = static_cast<uint32_t>(value);
  return true;
}

std::vector<std::string> FoldersAlongPath(const std::string& path) {
  std::vector<std::string> folders;
  size_t from = 3;
  while (from < path.size()) {
    // Either separator ends a folder, whichever comes first.
    const size_t separator = path.find_first_of("\\/", from);
    if (separator == std::string::npos) break;
    folders.push_back(path.substr(0, separator));
    from = separator + 1;
  }
  return folders;
}

std::string WhyAddressRefused(const std::string& url) {
  return qv::IsHttpAddress(url) ? std::string() : "Download refused, not an HTTP address: [" + url + "]";
}

std::string WhyDownloadRefused(const std::string& url, uint64_t announcedBytes, uint64_t freeBytes) {
  std::string why = WhyAddressRefused(url);
  if (why.empty() && announcedBytes > qv::DownloadByteBudget(freeBytes)) {
    why = "Download refused, " + std::to_string(announcedBytes) + " bytes announced, " +
          std::to_string(qv::DownloadByteBudget(freeBytes)) + " allowed: [" + url + "]";
  }
  return why;
}

}  // namespace qv::updateclient
