// The update-service client library, loaded at run time from the program's own folder by its full
// path (never found by a search), its own imports from the system folder. Each use loads it into a
// module owner and releases it right after.
#pragma once

#include <windows.h>

#include <string>

#include "bootstrap/provisioning/support.h"
#include "common/win/handles.h"
#include "updateclient/QVUTchkdl.h"

// Loads the library of `programFolder` (ending in a backslash) into `library` and finds its export
// `name`. When either step fails, its trace text (`loadFailed` or `notFound`) goes to the trace log
// and the result is null.
template <typename Proc>
Proc OpenUpdateClientExport(qv::UniqueModule& library, const std::wstring& programFolder, const char* name,
                            const wchar_t* loadFailed, const wchar_t* notFound) {
  const std::wstring path = programFolder + L"QVUTchkdl.dll";
  library.reset(programFolder.empty() ? nullptr
                                      : ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) {
    WriteTraceLog(loadFailed);
    return nullptr;
  }
  Proc found = reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(library.get(), name)));
  if (!found) WriteTraceLog(notFound);
  return found;
}
