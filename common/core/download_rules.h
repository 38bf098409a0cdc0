// What any download of the program and the library must keep to: addresses from the server are
// HTTP or HTTPS only (the system's other schemes reach local files, network shares and servers
// without a deadline), and no file may grow past a size limit or eat the disk's last free space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

// The largest file one download writes, and the free space it always leaves on its disk.
constexpr uint64_t kMaxDownloadBytes = uint64_t(1) << 30;       // 1 GiB
constexpr uint64_t kDiskReserveBytes = uint64_t(256) << 20;     // 256 MiB

// The bytes one download may write to a disk with |freeBytes| free: at most the file limit, and
// never into the reserve; 0 when the disk has no room beyond it.
constexpr uint64_t DownloadByteBudget(uint64_t freeBytes) {
  return freeBytes <= kDiskReserveBytes ? 0
         : freeBytes - kDiskReserveBytes < kMaxDownloadBytes ? freeBytes - kDiskReserveBytes
                                                              : kMaxDownloadBytes;
}

// "http://" or "https://" in any letter case, followed by something.
template <typename Char>
bool IsHttpAddress(const std::basic_string<Char>& address) {
  auto startsWith = [&address](const char* scheme) {
    size_t n = 0;
    for (; scheme[n] != '\0'; ++n) {
      if (n >= address.size()) return false;
      Char c = address[n];
      if (c >= Char('A') && c <= Char('Z')) c = Char(c - Char('A') + Char('a'));
      if (c != Char(scheme[n])) return false;
    }
    return address.size() > n;
  };
  return startsWith("http://") || startsWith("https://");
}

}  // namespace qv
