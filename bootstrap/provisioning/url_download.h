// Downloads a URL into a file, taking the server's HTTP status into account and bounding every wait:
// HTTP through WinINet, read arrival by arrival; any other URL through the system's URL moniker
// (which alone reports success on an error page and keeps that page as the file).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "bootstrap/core/download_loop.h"

// Downloads |url| into the file |path|, replacing a file already there. TRUE only when the transfer
// succeeded and, for an HTTP URL, the server answered with a 2xx status (for other URLs the
// transfer's own result decides), and the file is still where |path| names it: a folder on the
// way swapped for a link during the transfer fails it. On FALSE no file is left at |path|:
// neither an error page nor what was there before (a link there, or a file with another hard
// link, is never written or removed). Initialises COM on the calling thread for the call when it
// is not; never throws.
//
// An HTTP transfer has an end: it fails when no data came for `limits.idleMs`, when the whole of it
// took longer than `limits.totalMs` (when set), or as soon as `cancel` (when given) is set between
// arrivals.
BOOL DownloadUrlToFile(const std::wstring& url, const std::wstring& path,
                       const qv::bootstrap::DownloadLimits& limits = {}, const std::atomic<BOOL>* cancel = nullptr);
