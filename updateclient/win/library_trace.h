// The library's trace log: each line goes to the debugger output with the library's prefix.
#pragma once

#include <string>

#include "common/core/trace_sink.h"

namespace qv::updateclient {

// Writes "[KSVC_UT]   " and |text| to the debugger output; an empty text writes nothing.
void UtTrace(const std::string& text);

// The trace log as the portable procedures write to it.
class CLibraryTrace : public qv::NarrowTraceSink {
 public:
  void Trace(const std::string& line) override { UtTrace(line); }
};

}  // namespace qv::updateclient
