// The walk over the system's list of running processes that every process search shares: the
// program's test for a running PC tool and the library's search for a running agent.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include "common/win/handles.h"

namespace qv {

// The id of the first running process that |matches|(image file name without folder, as the
// snapshot gives it; process id) accepts; 0 when none does or no snapshot can be taken.
template <typename Predicate>
DWORD FindProcess(Predicate matches) {
  UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
    entry.szExeFile[MAX_PATH - 1] = L'\0';
    const wchar_t* image = entry.szExeFile;
    if (matches(image, entry.th32ProcessID)) return entry.th32ProcessID;
  }
  return 0;
}

}  // namespace qv
