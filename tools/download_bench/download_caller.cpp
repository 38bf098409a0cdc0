// Fetches one URL into a file the way one of the two deliverables does, for the download
// benchmark: "url" through the program's URL download (WinINet for HTTP, read as it arrives),
// "library" through the library's DownloadToFile (WinINet, 8192-byte chunks), "size" only the
// library's size request that comes first (a GET closed after its headers). Prints one JSON line
// with the seconds the call took and the process's peak working set:
//   download_caller.exe url|library|size URL FILE
//   {"way":"url","ok":true,"seconds":1.234,"peak_working_set":12345678}
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "bootstrap/provisioning/url_download.h"
#include "common/win/ansi_text.h"
#include "updateclient/win/transport.h"

using qv::updateclient::DownloadOutcome;
using qv::updateclient::DownloadToFile;
using qv::updateclient::GetRemoteFileSize;

int wmain(int argc, wchar_t** argv) try {
  if (argc != 4) {
    std::fputs("usage: download_caller.exe url|library|size URL FILE\n", stderr);
    return 2;
  }
  const std::wstring way = argv[1], url = argv[2], file = argv[3];
  LARGE_INTEGER frequency, started, ended;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&started);
  bool ok = false;
  if (way == L"url") {
    ok = DownloadUrlToFile(url, file) != FALSE;
  } else if (way == L"size") {
    ok = GetRemoteFileSize(qv::ToAnsi(url)) > 0;
  } else if (way == L"library") {
    std::atomic<int> cancel{0}, busy{0};
    ok = DownloadToFile(qv::ToAnsi(url), qv::ToAnsi(file), nullptr, cancel, busy) == DownloadOutcome::kComplete;
  } else {
    return 2;
  }
  ::QueryPerformanceCounter(&ended);
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof(memory);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("{\"way\":\"%ls\",\"ok\":%s,\"seconds\":%.3f,\"peak_working_set\":%llu}\n", way.c_str(),
              ok ? "true" : "false",
              static_cast<double>(ended.QuadPart - started.QuadPart) / static_cast<double>(frequency.QuadPart),
              static_cast<unsigned long long>(memory.PeakWorkingSetSize));
  return ok ? 0 : 1;
} catch (...) {
  return 4;
}
