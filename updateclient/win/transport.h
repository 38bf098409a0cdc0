// The library's only way to the network, its trace routine and its folder creation.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

// Writes "[KSVC_UT]   " and |text| to the debugger output; an empty text writes nothing.
void UtTrace(const std::string& text);

// True when the host answers GET / on the probe port with status 200.
bool IsServerReachable(const std::string& host);

// The answer body from its first '<' on, converted to the ANSI code page; empty on any failure.
std::string HttpGetMarkup(const std::string& url);

std::string Utf8ToAnsi(const std::string& text);

// The announced Content-Length of a successful (2xx) answer; 0 on any failure.
uint32_t GetRemoteFileSize(const std::string& url);

// Streams |url| into |filePath| (created anew), moving the progress bar |progress| (may be null).
// Files under 30000 bytes are not downloaded. True only when the whole announced size was written;
// an interrupted transfer leaves its partial file.
bool DownloadToFile(const std::string& url, const std::string& filePath, HWND progress,
                    const std::atomic<int>& cancelRequested, std::atomic<int>& busy);

// Creates every folder along |path| (the text after the last separator is a file name). Always true.
bool CreateFolderPath(const std::string& path);
