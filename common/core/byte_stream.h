// The two ends of a transfer, apart from the network and the file they connect, so that the
// download loops of the program and of the update library are tested natively.
#pragma once

#include <cstdint>

namespace qv {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // How many bytes can be read now; false when the source failed or gave up waiting. 0 with
  // true: the answer has ended.
  virtual bool QueryAvailable(uint32_t& available) = 0;
  // Reads up to |capacity| bytes; false on failure.
  virtual bool Read(char* buffer, uint32_t capacity, uint32_t& received) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool Write(const char* data, uint32_t length) = 0;
};

}  // namespace qv
