// Linked into every deliverable: the hook that loads each delay-imported library (version,
// wininet, wintrust, crypt32; see cmake/delay_imports.cmake) by its full path in the
// system folder. Windows
// protects only its known libraries from a search that begins in the program's folder, and the
// program runs elevated from a folder that any program of the user can write to: a library of
// one of these names there must never be loaded.
#include <windows.h>
#include <delayimp.h>

namespace {

FARPROC WINAPI LoadFromSystemFolder(unsigned notice, PDelayLoadInfo info) {
  if (notice != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  wchar_t path[MAX_PATH + 64] = {};
  const UINT folder = ::GetSystemDirectoryW(path, MAX_PATH);
  if (folder == 0 || folder >= MAX_PATH) return nullptr;
  size_t at = folder;
  path[at++] = L'\\';
  // The names are the ASCII names of the import tables ("wininet.dll").
  for (const char* c = info->szDll; *c && at + 1 < sizeof(path) / sizeof(path[0]); ++c) {
    path[at++] = static_cast<wchar_t>(static_cast<unsigned char>(*c));
  }
  path[at] = L'\0';
  // The library's own imports come from the system folder too.
  return reinterpret_cast<FARPROC>(::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace

// The delay-load helper of the runtime asks this hook before it would load a library by name.
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
