// The program's download loop against a scripted answer and clock: what is written, and which
// limit ends a slow, silent or cancelled transfer.
#include "common/core/download_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace qv::bootstrap {
namespace {

// An answer as a list of arrivals: each brings text after `waitMs` of silence. A failed arrival
// is a source that gave up (its timeout) or broke.
struct Arrival {
  uint64_t waitMs;
  std::string text;
  bool ok = true;
};

class ScriptedAnswer : public ByteSource, public ByteSink, public DownloadWatch {
 public:
  std::vector<Arrival> arrivals;
  std::string written;
  int cancelAfterWrites = -1;

  ScriptedAnswer() = default;
  explicit ScriptedAnswer(std::vector<Arrival> script) : arrivals(std::move(script)) {}

  DownloadEnd Run(const DownloadLimits& limits) { return RunDownload(*this, *this, *this, limits); }

  bool QueryAvailable(uint32_t& available) override {
    if (m_nNext == arrivals.size()) {
      available = 0;
      return true;
    }
    if (!m_bStarted) m_nNow += arrivals[m_nNext].waitMs;
    m_bStarted = true;
    available = static_cast<uint32_t>(arrivals[m_nNext].text.size());
    return arrivals[m_nNext].ok;
  }
  bool Read(char* buffer, uint32_t capacity, uint32_t& received) override {
    std::string& text = arrivals[m_nNext].text;
    received = static_cast<uint32_t>(std::min<size_t>(capacity, text.size()));
    text.copy(buffer, received);
    text.erase(0, received);
    if (text.empty()) {
      ++m_nNext;
      m_bStarted = false;
    }
    return true;
  }
  bool Write(const char* data, uint32_t length) override {
    written.append(data, length);
    ++m_nWrites;
    return true;
  }
  uint64_t ElapsedMs() const override { return m_nNow; }
  bool Cancelled() const override { return cancelAfterWrites >= 0 && m_nWrites >= cancelAfterWrites; }

 private:
  size_t m_nNext = 0;
  bool m_bStarted = false;  // the silence before arrival m_nNext has passed
  uint64_t m_nNow = 0;
  int m_nWrites = 0;
};

TEST(DownloadLoop, WritesEverythingUntilTheAnswerEnds) {
  ScriptedAnswer answer({{10, "[FILES]\r\n"}, {59000, std::string(20000, 'x')}, {0, "end"}});
  EXPECT_EQ(answer.Run({60000, 60000}), DownloadEnd::Complete);
  EXPECT_TRUE(answer.written == "[FILES]\r\n" + std::string(20000, 'x') + "end") << answer.written.size();
}

TEST(DownloadLoop, EachLimitEndsItsKindOfSlowTransfer) {
  // Ten bytes a second: every arrival is prompt, the whole is not.
  ScriptedAnswer drip;
  for (int i = 0; i < 100; ++i) drip.arrivals.push_back({1000, "0123456789"});
  EXPECT_EQ(drip.Run({60000, 60000}), DownloadEnd::TookTooLong);
  EXPECT_EQ(drip.written.size(), 610u);  // what came within the limit, then no more
  ScriptedAnswer unlimited;
  for (int i = 0; i < 100; ++i) unlimited.arrivals.push_back({1000, "0123456789"});
  EXPECT_EQ(unlimited.Run({60000, 0}), DownloadEnd::Complete);  // a package file

  // Silence: the source gives up at its timeout, or answers only after the idle limit.
  ScriptedAnswer silent({{100, "a"}, {60000, "", false}});
  EXPECT_EQ(silent.Run({60000, 0}), DownloadEnd::IdleTooLong);
  ScriptedAnswer late({{60001, "a"}});
  EXPECT_EQ(late.Run({60000, 0}), DownloadEnd::IdleTooLong);
  EXPECT_EQ(late.written, "");
  ScriptedAnswer broken({{5, "a"}, {5, "", false}});
  EXPECT_EQ(broken.Run({60000, 0}), DownloadEnd::Failed);
}

TEST(DownloadLoop, CancelIsSeenBeforeTheNextArrival) {
  ScriptedAnswer answer({{10, "one"}, {10, "two"}, {10, "three"}});
  answer.cancelAfterWrites = 2;
  EXPECT_EQ(answer.Run({60000, 0}), DownloadEnd::Cancelled);
  EXPECT_EQ(answer.written, "onetwo");
}

TEST(DownloadLoop, AFileNeverGrowsPastItsSizeLimit) {
  // Exactly the limit is a whole file; one byte more fails before anything past it is written.
  ScriptedAnswer exact({{1, "0123456789"}, {1, "abcdef"}});
  EXPECT_EQ(exact.Run({60000, 0, 16}), DownloadEnd::Complete);
  EXPECT_EQ(exact.written, "0123456789abcdef");
  ScriptedAnswer over({{1, "0123456789"}, {1, "abcdefg"}});
  EXPECT_EQ(over.Run({60000, 0, 16}), DownloadEnd::TooLarge);
  EXPECT_EQ(over.written, "0123456789");
  // A disk without room beyond its reserve takes nothing at all.
  ScriptedAnswer full({{1, "a"}});
  EXPECT_EQ(full.Run({60000, 0, DownloadByteBudget(kDiskReserveBytes)}), DownloadEnd::TooLarge);
  EXPECT_EQ(full.written, "");
  EXPECT_EQ(DownloadLimits{}.maxBytes, kMaxDownloadBytes);
}

}  // namespace
}  // namespace qv::bootstrap
