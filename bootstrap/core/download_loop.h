// The program's download loop without the network: what arrives is written until the answer
// ends, and the download fails when it is cancelled, when no data came for too long, when the
// whole transfer takes longer than its limit, or when the file would grow past its size limit. Every wait of the loop is on the source, which
// waits at most the idle limit itself (the transport's receive timeout).
#pragma once

#include <cstdint>

#include "common/core/byte_stream.h"
#include "common/core/download_rules.h"

namespace qv::bootstrap {

struct DownloadLimits {
  uint64_t idleMs = 60000;  // longest wait for the next data
  uint64_t totalMs = 0;     // longest whole transfer; 0: no limit
  uint64_t maxBytes = kMaxDownloadBytes;  // largest file; the adapter lowers it to the disk's room
};

// The clock of a transfer and the user's wish to stop it, looked at between arrivals.
class DownloadWatch {
 public:
  virtual ~DownloadWatch() = default;
  virtual uint64_t ElapsedMs() const = 0;  // since the request began
  virtual bool Cancelled() const = 0;
};

enum class DownloadEnd { Complete, Failed, Cancelled, IdleTooLong, TookTooLong, TooLarge };

DownloadEnd RunDownload(ByteSource& source, ByteSink& sink, const DownloadWatch& watch, const DownloadLimits& limits);

// "complete", "failed", "cancelled", "no data in time", "not complete in time", "larger than
// allowed": for trace lines.
const wchar_t* DownloadEndText(DownloadEnd end);

}  // namespace qv::bootstrap
