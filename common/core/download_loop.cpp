// The download loop: one round per arrival, the limits looked at between rounds.
#include "common/core/download_loop.h"

namespace qv {

DownloadEnd RunDownload(ByteSource& source, ByteSink& sink, const DownloadWatch& watch, const DownloadLimits& limits,
                        DownloadObserver* observer) {
  constexpr uint32_t kChunk = 8192;
  char buffer[kChunk];
  uint64_t written = 0;
  const uint64_t expected = limits.expectedBytes;
  // The answer's end: the whole file, unless a size was announced that did not arrive.
  const auto ended = [&written, expected] {
    return expected != 0 && written < expected ? DownloadEnd::Failed : DownloadEnd::Complete;
  };
  for (;;) {
    if (observer) observer->OnProgress(written);
    if (watch.Cancelled()) return DownloadEnd::Cancelled;
    if (expected != 0 && written >= expected) return DownloadEnd::Complete;
    if (limits.totalMs != 0 && watch.ElapsedMs() > limits.totalMs) return DownloadEnd::TookTooLong;
    const uint64_t waitStart = watch.ElapsedMs();
    uint32_t available = 0;
    const bool answered = source.QueryAvailable(available);
    // The source's own timeout ends a silent wait; a source that waited longer than the idle
    // limit and then answered is held to the limit all the same.
    const uint64_t waited = watch.ElapsedMs() - waitStart;
    if (limits.idleMs != 0 && (waited > limits.idleMs || (!answered && waited >= limits.idleMs))) {
      return DownloadEnd::IdleTooLong;
    }
    if (!answered) return DownloadEnd::Failed;
    if (available == 0) return ended();
    uint32_t received = 0;
    const uint32_t wanted = available < kChunk ? available : kChunk;
    if (!source.Read(buffer, wanted, received) || received > wanted) return DownloadEnd::Failed;
    if (received == 0) return ended();
    // Bytes past an announced size are not part of the file.
    const uint64_t chunk = expected != 0 && received > expected - written ? expected - written : received;
    if (chunk > limits.maxBytes - written) return DownloadEnd::TooLarge;  // nothing past the limit
    if (!sink.Write(buffer, static_cast<uint32_t>(chunk))) return DownloadEnd::Failed;
    written += chunk;
  }
}

const wchar_t* DownloadEndText(DownloadEnd end) {
  switch (end) {
    case DownloadEnd::Complete:
      return L"complete";
    case DownloadEnd::Cancelled:
      return L"cancelled";
    case DownloadEnd::IdleTooLong:
      return L"no data in time";
    case DownloadEnd::TookTooLong:
      return L"not complete in time";
    case DownloadEnd::TooLarge:
      return L"larger than allowed";
    case DownloadEnd::Failed:
      break;
  }
  return L"failed";
}

}  // namespace qv
