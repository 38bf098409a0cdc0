// The update-service client library, loaded at run time from the program's own folder by its full
// path (never found by a search), its own imports from the system folder, and only while it is
// proven to be the phone's file. Each use loads it into a module owner and releases it right after.
#pragma once

#include <windows.h>

#include <string>

#include "bootstrap/core/pc_system.h"
#include "common/win/handles.h"
#include "updateclient/QVUTchkdl.h"

// Loads the library of `programFolder` into `library`, once it is proven to hold the bytes of the
// one in `phoneFolder` (both end in a backslash; held until loaded), and finds its export `name`.
// A file that is not the phone's is traced by name. On failure the result is null and `failure`
// says which step failed.
FARPROC OpenUpdateClientProc(qv::UniqueModule& library, const std::wstring& programFolder,
                             const std::wstring& phoneFolder, const char* name, qv::bootstrap::LibraryCall& failure);

template <typename Proc>
Proc OpenUpdateClientExport(qv::UniqueModule& library, const std::wstring& programFolder,
                            const std::wstring& phoneFolder, const char* name, qv::bootstrap::LibraryCall& failure) {
  return reinterpret_cast<Proc>(
      reinterpret_cast<void*>(OpenUpdateClientProc(library, programFolder, phoneFolder, name, failure)));
}
