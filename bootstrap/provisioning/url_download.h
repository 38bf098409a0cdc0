// Downloads an HTTP(S) URL into a file through WinINet, read arrival by arrival, taking the
// server's status into account and bounding every wait and the file's size.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "common/core/download_loop.h"
#include "common/win/held_folder.h"

// Downloads |url| into the file |path|, replacing a file already there. TRUE only when |url| is
// HTTP or HTTPS (any other scheme is refused, traced), the transfer succeeded, the server answered
// with a 2xx status, and the file is still where |path| names it: a folder on the
// way swapped for a link during the transfer fails it. On FALSE no file is left at |path|:
// neither an error page nor what was there before (a link there, or a file with another hard
// link, is never written or removed). Never throws.
//
// An HTTP transfer has an end: it fails when no data came for `limits.idleMs`, when the whole of it
// took longer than `limits.totalMs` (when set), as soon as `cancel` (when given) is set between
// arrivals, or when the file would grow past `limits.maxBytes` or into the last 256 MiB free on
// its disk.
//
// With `folder` (the held folder that |path| names as its folder), the complete file must lie in
// that very folder: its final path is compared with the held folder's, not with the folder that
// the name leads to now.
//
// On FALSE, |cause| (when given) says why, for the trace line after the caller's: the address and
// the server's status, the network's error, the limit the transfer ran into, or the file's fate.
BOOL DownloadUrlToFile(const std::wstring& url, const std::wstring& path,
                       const qv::DownloadLimits& limits = {}, const std::atomic<BOOL>* cancel = nullptr,
                       const qv::CHeldFolder* folder = nullptr, std::wstring* cause = nullptr);
