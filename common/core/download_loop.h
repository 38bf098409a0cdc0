// The download loop of the program and of the update library, without the network: what arrives
// is written until the answer ends (or, with a size announced, until that size is written), and
// the download fails when it is cancelled, when no data came for too long, when the whole transfer
// takes longer than its limit, or when the file would grow past its size limit. Every wait of the
// loop is on the source, which waits at most its own timeout (the transport's receive timeout).
#pragma once

#include <cstdint>

#include "common/core/byte_stream.h"
#include "common/core/download_rules.h"

namespace qv {

struct DownloadLimits {
  uint64_t idleMs = 60000;  // longest wait for the next data; 0: the source's own timeout only
  uint64_t totalMs = 0;     // longest whole transfer; 0: no limit
  uint64_t maxBytes = kMaxDownloadBytes;  // largest file; the adapter lowers it to the disk's room
  // The size the answer announced: once that much is written the transfer is complete (anything
  // more is dropped), and an answer that ends before it is a failed one. 0: until the answer ends.
  uint64_t expectedBytes = 0;
};

// The clock of a transfer and the user's wish to stop it, looked at between arrivals.
class DownloadWatch {
 public:
  virtual ~DownloadWatch() = default;
  virtual uint64_t ElapsedMs() const = 0;  // since the request began
  virtual bool Cancelled() const = 0;
};

// Who shows how far a download has come: the size to expect once it is known, and the bytes
// written at the top of every round (0 first; the whole size on the round that sees completion).
class DownloadObserver {
 public:
  virtual ~DownloadObserver() = default;
  virtual void OnSizeKnown(uint64_t totalBytes) = 0;
  virtual void OnProgress(uint64_t writtenBytes) = 0;
};

enum class DownloadEnd { Complete, Failed, Cancelled, IdleTooLong, TookTooLong, TooLarge };

// Reads |source| into |sink| in chunks of at most 8192 bytes, within |limits|; |observer| (may be
// null) sees the progress.
DownloadEnd RunDownload(ByteSource& source, ByteSink& sink, const DownloadWatch& watch, const DownloadLimits& limits,
                        DownloadObserver* observer = nullptr);

// "complete", "failed", "cancelled", "no data in time", "not complete in time", "larger than
// allowed": for trace lines.
const wchar_t* DownloadEndText(DownloadEnd end);

}  // namespace qv
