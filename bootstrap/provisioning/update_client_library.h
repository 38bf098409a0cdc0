// The update-service client library, loaded at run time by its plain file name, so that the
// system's search order applies (the program's own folder first). Each use loads it into a
// module owner and releases it right after.
#pragma once

#include <windows.h>

#include "common/win/handles.h"
#include "updateclient/QVUTchkdl.h"

inline HMODULE LoadUpdateClientLibrary() { return ::LoadLibraryW(L"QVUTchkdl.dll"); }

// The export `name` as the function type `Proc`; null when the library lacks it.
template <typename Proc>
Proc FindUpdateClientExport(const qv::UniqueModule& library, const char* name) {
  return reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(library.get(), name)));
}
