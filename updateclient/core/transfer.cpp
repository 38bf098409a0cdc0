// Download loop and folder splitting, portable so that their edge cases are tested natively.
#include "updateclient/core/transfer.h"

bool TransferAnnounced(ByteSource& source, ByteSink& sink, uint32_t size, const std::atomic<int>& cancelRequested,
                       const std::function<void(uint32_t position)>& progress) {
  char buffer[kTransferChunkBytes];
  uint32_t position = 0;
  for (;;) {
    if (progress) progress(position);
    if (cancelRequested.load() != 0) return false;
    if (position >= size) return true;
    uint32_t available = 0;
    if (!source.QueryAvailable(available) || available == 0) return false;
    uint32_t received = 0;
    uint32_t wanted = available < kTransferChunkBytes ? available : kTransferChunkBytes;
    if (!source.Read(buffer, wanted, received) || received == 0) return false;
    if (received > wanted) return false;  // a source that overfills the buffer is broken
    uint32_t chunk = received > size - position ? size - position : received;
    if (chunk == 0 || !sink.Write(buffer, chunk)) return false;
    position += chunk;
  }
}

std::vector<std::string> FoldersAlongPath(const std::string& path) {
  std::vector<std::string> folders;
  size_t from = 3;
  while (from < path.size()) {
    size_t separator = path.find('\\', from);
    if (separator == std::string::npos) separator = path.find('/', from);
    if (separator == std::string::npos) break;
    folders.push_back(path.substr(0, separator));
    from = separator + 1;
  }
  return folders;
}
