// The library's trace routine over OutputDebugStringA.
#include "updateclient/win/library_trace.h"

#include <windows.h>

namespace qv::updateclient {

void UtTrace(const std::string& text) {
  if (text.empty()) return;
  ::OutputDebugStringA(("[KSVC_UT]   " + text).c_str());
}

}  // namespace qv::updateclient
