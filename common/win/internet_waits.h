// WinINet's wait limits, set in one place for the program and the library.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace qv {

// Bounds connecting, sending and each wait for more of an answer on |handle| (a session, or a
// request before it is sent) and on what it opens, to |waitMs| each.
inline void LimitInternetWaits(HINTERNET handle, DWORD waitMs) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT}) {
    ::InternetSetOptionW(handle, option, &waitMs, sizeof(waitMs));
  }
}

}  // namespace qv
