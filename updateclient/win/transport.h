// The library's only way to the network, and its folder creation.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "common/core/download_loop.h"
#include "updateclient/core/transfer.h"


namespace qv::updateclient {

// Why the library's last request failed, as one line for its caller's trace: the address and the
// server's status, the network's error, or what was wrong with the answer. Empty when the last
// request succeeded, or after ForgetFailureCause. NoteFailureCause keeps at most 511 characters.
void ForgetFailureCause();
void NoteFailureCause(const std::string& cause);
std::string FailureCause();

// True when the host answers GET / on the probe port with status 200.
bool IsServerReachable(const std::string& host);

// Every request below takes an http: or https: address only: any other is refused and traced
// (WhyAddressRefused) before anything is asked.

// The answer body from its first '<' on, converted to the ANSI code page; empty on any failure,
// an answer that has not ended |deadlineMs| after the request began included.
std::string HttpGetMarkup(const std::string& url, uint64_t deadlineMs = kAnswerDeadlineMs);

// The announced Content-Length of a successful (2xx) answer; 0 on any failure.
uint32_t GetRemoteFileSize(const std::string& url);

enum class DownloadOutcome {
  kNotStarted,  // not HTTP, under 30000 bytes, no size, over the budget of the target's disk
                // (qv::DownloadByteBudget, traced), or the file could not be created new: nothing
                // transferred
  kIncomplete,  // the transfer ran but ended early (cancel, network or write failure)
  kComplete,    // the whole announced size was written
};

// Streams |url| into |filePath|, a new file that must not exist yet (nothing already there is
// ever written), telling |observer| (may be null) the size and the progress. Files under 30000 bytes are
// not downloaded. |busy| is 1 from the file's creation on; it is left
// for the caller to clear once it has dealt with the file (it stays 0 when nothing started). An
// interrupted transfer leaves its partial file.
DownloadOutcome DownloadToFile(const std::string& url, const std::string& filePath, qv::DownloadObserver* observer,
                               const std::atomic<int>& cancelRequested, std::atomic<int>& busy);

// Creates every folder along |path| (the text after the last separator is a file name). Always true.
bool CreateFolderPath(const std::string& path);

}  // namespace qv::updateclient
