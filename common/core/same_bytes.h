// Whether two files hold the same bytes, read through two reader functions, so that the rule is
// one and tested natively: equal sizes, then every byte, a chunk at a time; a read that fails or
// ends early makes the files differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace qv {

// `read(buffer, wanted)` reads the next bytes of one file into `buffer`, at most `wanted`, and
// returns how many it read (0 at the end or on failure).
template <typename ReadA, typename ReadB>
bool HaveSameBytes(uint64_t sizeA, uint64_t sizeB, ReadA readA, ReadB readB, size_t chunk = 64 * 1024) {
  if (sizeA != sizeB || chunk == 0) return false;
  std::vector<char> bufferA(chunk), bufferB(chunk);
  // Fills `buffer` with exactly `wanted` bytes, however the reader splits them.
  auto fill = [](auto& read, char* buffer, size_t wanted) {
    size_t got = 0;
    while (got < wanted) {
      const size_t step = read(buffer + got, wanted - got);
      if (step == 0 || step > wanted - got) return false;
      got += step;
    }
    return true;
  };
  for (uint64_t left = sizeA; left > 0;) {
    const size_t wanted = left < chunk ? static_cast<size_t>(left) : chunk;
    if (!fill(readA, bufferA.data(), wanted) || !fill(readB, bufferB.data(), wanted) ||
        std::memcmp(bufferA.data(), bufferB.data(), wanted) != 0) {
      return false;
    }
    left -= wanted;
  }
  return true;
}

}  // namespace qv
