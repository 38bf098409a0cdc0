// Close policies and owner typedefs for the Win32 handle kinds the deliverables use.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "common/core/unique_resource.h"

namespace qv {

struct FileHandleTraits {  // CreateFile and friends: INVALID_HANDLE_VALUE when absent
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};

struct KernelHandleTraits {  // events, mutexes, threads, processes, tokens: NULL when absent
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::CloseHandle(h); }
};

struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};

struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};

struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};

// A SID the system allocated (AllocateAndInitializeSid).
struct SidTraits {
  using Type = PSID;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::FreeSid(h); }
};

// What the security API hands out with LocalAlloc.
struct LocalMemoryTraits {
  using Type = HLOCAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type memory) { ::LocalFree(memory); }
};

// A search of a folder's entries (FindFirstFile): INVALID_HANDLE_VALUE when absent.
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindClose(h); }
};

// WinINet's sessions, connections, requests and open addresses.
struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::InternetCloseHandle(h); }
};

using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueProcessHandle = UniqueResource<KernelHandleTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueSid = UniqueResource<SidTraits>;
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;
using UniqueFindHandle = UniqueResource<FindHandleTraits>;
using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

}  // namespace qv
