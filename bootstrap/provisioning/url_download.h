// Downloads a URL into a file through the system's URL moniker, taking the server's HTTP status
// into account: the moniker alone reports success on an error page and keeps that page as the file.
#pragma once

#include <windows.h>

#include <string>

// Downloads |url| into the file |path|, replacing a file already there. TRUE only when the transfer
// succeeded and, for an HTTP URL, the server answered with a 2xx status (for other URLs the
// transfer's own result decides). On FALSE no file is left at |path|: neither an error page nor
// what was there before. Initialises COM on the calling thread for the call when it is not; never
// throws.
BOOL DownloadUrlToFile(const std::wstring& url, const std::wstring& path);
