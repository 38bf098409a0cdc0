// What the library's transport decides apart from the network: which addresses and sizes it
// downloads, how a service answer is read whole, the Content-Length and the folders along a path.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/core/byte_stream.h"

namespace qv::updateclient {

using qv::ByteSink;
using qv::ByteSource;

constexpr uint32_t kSmallestDownloadBytes = 30000;  // anything smaller is not a package file

// The trace line that refuses to fetch |url|, empty when it may be fetched: only http: and https:
// addresses are (qv::IsHttpAddress); the system's other schemes reach local files, shares and
// servers without the transport's deadlines.
std::string WhyAddressRefused(const std::string& url);

// The trace line that refuses a download of |url| announcing |announcedBytes| into a folder whose
// disk has |freeBytes| free, empty when it may start: the address is refused, or the size passes
// qv::DownloadByteBudget (the file limit, and the disk's reserve kept free).
std::string WhyDownloadRefused(const std::string& url, uint64_t announcedBytes, uint64_t freeBytes);

// An answer must have arrived whole within this time; a server that drips it is given up.
constexpr uint64_t kAnswerDeadlineMs = 60000;

// Reads a service answer whole, taking what has arrived each time so that the deadline is looked
// at between arrivals. False when a query or read fails, the body grows past the largest answer,
// or |elapsedMs| (milliseconds since the request began) passes |deadlineMs|.
bool ReadWholeAnswer(ByteSource& source, std::string& body, const std::function<uint64_t()>& elapsedMs,
                     uint64_t deadlineMs = kAnswerDeadlineMs);

// The value of a Content-Length header: only decimal digits (blanks around them allowed) that fit
// in 32 bits make a size. A missing, negative, non-numeric or oversized value is no size, so that
// "-1" never becomes a 4 GB transfer.
bool ParseContentLength(const std::string& text, uint32_t& size);

// The folders to create, outermost first, for a path whose first three characters are a drive
// prefix; '\\' and '/' both separate folders, and the text after the last separator is taken as
// a file name.
std::vector<std::string> FoldersAlongPath(const std::string& path);

}  // namespace qv::updateclient
