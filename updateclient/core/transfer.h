// The download loop, apart from the network and the file it connects: it streams through one
// fixed buffer, never writes past the announced size and notices a cancel request once a round.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/core/byte_stream.h"

namespace qv::updateclient {

using qv::ByteSink;
using qv::ByteSource;

constexpr uint32_t kTransferChunkBytes = 8192;
constexpr uint32_t kSmallestDownloadBytes = 30000;  // anything smaller is not a package file

// Copies |size| bytes from |source| to |sink|, reporting the position at the top of every round.
// True only when the whole announced size was written; bytes beyond it are dropped.
bool TransferAnnounced(ByteSource& source, ByteSink& sink, uint32_t size, const std::atomic<int>& cancelRequested,
                       const std::function<void(uint32_t position)>& progress);

// An answer must have arrived whole within this time; a server that drips it is given up.
constexpr uint64_t kAnswerDeadlineMs = 60000;

// Reads a service answer whole, taking what has arrived each time so that the deadline is looked
// at between arrivals. False when a query or read fails, the body grows past the largest answer,
// or |elapsedMs| (milliseconds since the request began) passes the deadline.
bool ReadWholeAnswer(ByteSource& source, std::string& body, const std::function<uint64_t()>& elapsedMs);

// The value of a Content-Length header: only decimal digits (blanks around them allowed) that fit
// in 32 bits make a size. A missing, negative, non-numeric or oversized value is no size, so that
// "-1" never becomes a 4 GB transfer.
bool ParseContentLength(const std::string& text, uint32_t& size);

// The folders to create, outermost first, for a path whose first three characters are a drive
// prefix; '\\' and '/' both separate folders, and the text after the last separator is taken as
// a file name.
std::vector<std::string> FoldersAlongPath(const std::string& path);

}  // namespace qv::updateclient
