// The download loop against scripted sources: size bound, surplus, early end, a failed write,
// the whole answer's limits and a refused download's text.
#include "updateclient/core/transfer.h"
#include "updateclient/core/text.h"
#include "common/core/download_loop.h"
#include "common/core/download_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace qv::updateclient;

namespace {

// Serves |data| in reads of at most |step| bytes; may announce more than it has.
class ScriptedSource : public ByteSource {
 public:
  ScriptedSource(std::string data, uint32_t step) : m_data(std::move(data)), m_step(step) {}
  bool QueryAvailable(uint32_t& available) override {
    available = static_cast<uint32_t>(std::min<size_t>(m_data.size() - m_at, m_step));
    return true;
  }
  bool Read(char* buffer, uint32_t capacity, uint32_t& received) override {
    received = static_cast<uint32_t>(std::min<size_t>({capacity, m_step, m_data.size() - m_at}));
    std::memcpy(buffer, m_data.data() + m_at, received);
    m_at += received;
    ++reads;
    return true;
  }
  int reads = 0;

 private:
  std::string m_data;
  uint32_t m_step;
  size_t m_at = 0;
};

class StringSink : public ByteSink {
 public:
  bool Write(const char* data, uint32_t length) override {
    if (failAfter >= 0 && static_cast<int>(text.size()) >= failAfter) return false;
    text.append(data, length);
    return true;
  }
  std::string text;
  int failAfter = -1;
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

}  // namespace

// The library's transfer: the shared loop with the announced size and no idle limit of its own,
// a dialog never cancelled as the watch and the bar as the observer.
class CancelWatch : public qv::DownloadWatch, public qv::DownloadObserver {
 public:
  uint64_t ElapsedMs() const override { return 0; }
  bool Cancelled() const override { return false; }
  void OnSizeKnown(uint64_t) override {}
  void OnProgress(uint64_t written) override { positions.push_back(written); }
  bool Transfer(ByteSource& source, ByteSink& sink, uint64_t size) {
    qv::DownloadLimits limits;
    limits.idleMs = 0;
    limits.expectedBytes = size;
    return qv::RunDownload(source, sink, *this, limits, this) == qv::DownloadEnd::Complete;
  }
  std::vector<uint64_t> positions;
};

TEST(Transfer, WritesExactlyTheAnnouncedSizeInBoundedChunks) {
  CancelWatch watch;
  ScriptedSource source(Pattern(40000), 20000);  // offers more than one buffer at a time
  StringSink sink;
  EXPECT_TRUE(watch.Transfer(source, sink, 30000));
  EXPECT_EQ(sink.text, Pattern(30000));  // surplus beyond the announced size dropped
  EXPECT_EQ(watch.positions.front(), 0u);
  EXPECT_EQ(watch.positions.back(), 30000u);  // the bar is full on the round that sees completion
  EXPECT_EQ(source.reads, 4);                 // 8192-byte chunks
}

TEST(Transfer, ShortBodyAndWriteFailureAreNotCompletion) {
  CancelWatch watch;
  ScriptedSource shortSource(Pattern(10000), 4096);
  StringSink partial;
  EXPECT_FALSE(watch.Transfer(shortSource, partial, 30000));
  EXPECT_EQ(partial.text.size(), 10000u);  // what arrived stays

  ScriptedSource again(Pattern(50000), 8192);
  StringSink failing;
  failing.failAfter = 8192;
  EXPECT_FALSE(CancelWatch().Transfer(again, failing, 50000));
  EXPECT_EQ(failing.text.size(), 8192u);
}

TEST(WholeAnswer, ReadsToTheEndAndGivesUpPastTheSizeOrTheDeadline) {
  uint64_t now = 0;
  auto clock = [&now] { return now; };
  ScriptedSource source(Pattern(100000), 3000);
  std::string body;
  EXPECT_TRUE(ReadWholeAnswer(source, body, clock));
  EXPECT_TRUE(body == Pattern(100000));

  ScriptedSource huge(std::string(kLargestAnswerBytes + 2, '<'), 65536);
  std::string big;
  EXPECT_FALSE(ReadWholeAnswer(huge, big, clock));
  EXPECT_LE(big.size(), kLargestAnswerBytes + 65536);  // stops reading soon after the limit

  // One byte a second: given up once the deadline has passed, not after the whole body.
  ScriptedSource drip(Pattern(1000), 1);
  std::string dripped;
  EXPECT_FALSE(ReadWholeAnswer(drip, dripped, [&drip] { return static_cast<uint64_t>(drip.reads) * 1000; }));
  EXPECT_EQ(dripped.size(), kAnswerDeadlineMs / 1000 + 1);
}

TEST(WholeAnswer, LimitsOfAnAnswerBeforeItIsParsed) {
  EXPECT_TRUE(IsWithinAnswerLimits("<result status=\"OK\"/>"));
  EXPECT_TRUE(IsWithinAnswerLimits(std::string(kMostAnswerTags, '<')));
  EXPECT_FALSE(IsWithinAnswerLimits(std::string(kMostAnswerTags + 1, '<')));
  EXPECT_TRUE(IsWithinAnswerLimits(std::string(kLargestAnswerBytes, 'a')));
  EXPECT_FALSE(IsWithinAnswerLimits(std::string(kLargestAnswerBytes + 1, 'a')));
}

TEST(DownloadRefusal, TheRefusalOfAnAnnouncedSizeSaysHowMuchWasAllowed) {
  const std::string url = "http://h/x.cab";
  const uint64_t roomy = uint64_t(100) << 30;
  EXPECT_EQ(WhyDownloadRefused(url, qv::kMaxDownloadBytes, roomy), "");
  EXPECT_EQ(WhyDownloadRefused(url, qv::kMaxDownloadBytes + 1, roomy),
            "Download refused, 1073741825 bytes announced, 1073741824 allowed: [http://h/x.cab]");
  EXPECT_EQ(WhyDownloadRefused(url, 30000, qv::kDiskReserveBytes),
            "Download refused, 30000 bytes announced, 0 allowed: [http://h/x.cab]");
}
