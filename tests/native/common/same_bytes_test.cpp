// The byte comparison behind every "is this still the phone's file" check.
#include "common/core/same_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qv {
namespace {

// Reads `text` at most `step` bytes per call; `failAt` ends the file early (a read error).
struct Reader {
  std::string text;
  size_t step = 1 << 20;
  size_t failAt = std::string::npos;
  size_t at = 0;
  size_t operator()(char* buffer, size_t wanted) {
    const size_t end = std::min({text.size(), failAt, at + std::min(wanted, step)});
    const size_t got = end > at ? end - at : 0;
    std::copy(text.begin() + at, text.begin() + at + got, buffer);
    at += got;
    return got;
  }
};

bool Same(Reader a, Reader b, size_t chunk = 4) {
  return HaveSameBytes(a.text.size(), b.text.size(), a, b, chunk);
}

TEST(SameBytes, EveryByteCountsWhateverTheChunksAndReads) {
  const std::string data = "MZ\x90\x00 the phone's program, byte for byte";
  EXPECT_TRUE(Same({data}, {data}));
  EXPECT_TRUE(Same({data, 3}, {data, 5}, 7));  // readers that split the bytes their own way
  EXPECT_TRUE(Same({""}, {""}));
  std::string last = data;
  last.back() ^= 1;
  EXPECT_FALSE(Same({data}, {last}));  // the last byte of the last chunk
  std::string first = data;
  first.front() = 'X';
  EXPECT_FALSE(Same({data}, {first}));
  EXPECT_FALSE(Same({data}, {data + "!"}));  // one byte more
}

TEST(SameBytes, AReadThatFailsOrEndsEarlyIsADifference) {
  const std::string data(100, 'a');
  Reader broken{data};
  broken.failAt = 60;  // the size says 100, the file gives 60
  EXPECT_FALSE(Same(broken, {data}));
  EXPECT_FALSE(Same({data}, broken));
  // Sizes that agree with each other but not with what can be read.
  EXPECT_FALSE(HaveSameBytes(200, 200, Reader{data}, Reader{data}, 64));
  EXPECT_FALSE(HaveSameBytes(1, 1, Reader{"a"}, Reader{"a"}, 0));  // no buffer to compare in
}

}  // namespace
}  // namespace qv
