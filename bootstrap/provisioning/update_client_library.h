// The update-service client library, loaded at run time by its plain file name, so that the
// system's search order applies (the program's own folder first). Each use loads it into a
// module owner and releases it right after.
#pragma once

#include <windows.h>

#include "bootstrap/provisioning/support.h"
#include "common/win/handles.h"
#include "updateclient/QVUTchkdl.h"

// Loads the library into `library` and finds its export `name`. When either step fails, its
// trace text (`loadFailed` or `notFound`) goes to the trace log and the result is null.
template <typename Proc>
Proc OpenUpdateClientExport(qv::UniqueModule& library, const char* name, const wchar_t* loadFailed,
                            const wchar_t* notFound) {
  library.reset(::LoadLibraryW(L"QVUTchkdl.dll"));
  if (!library) {
    WriteTraceLog(loadFailed);
    return nullptr;
  }
  Proc found = reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(library.get(), name)));
  if (!found) WriteTraceLog(notFound);
  return found;
}
