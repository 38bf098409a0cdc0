// Where trace lines go. The program's log (wide lines) and the library's log (narrow lines) each
// implement it; the portable procedures write through it, so a test can record every line in order.
#pragma once

#include <string>

namespace qv {

template <class Char>
class BasicTraceSink {
 public:
  virtual ~BasicTraceSink() = default;
  // One line of the trace log, written whole; never throws to its caller.
  virtual void Trace(const std::basic_string<Char>& line) = 0;
};

using TraceSink = BasicTraceSink<wchar_t>;
using NarrowTraceSink = BasicTraceSink<char>;

}  // namespace qv
