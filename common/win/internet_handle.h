// Owner of WinINet handles (sessions, connections, requests, open URLs).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "common/core/unique_resource.h"

namespace qv {

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { ::InternetCloseHandle(h); }
};

using UniqueInternetHandle = UniqueResource<InternetHandleTraits>;

}  // namespace qv
