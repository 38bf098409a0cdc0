// Linked into every deliverable in place of the C++ runtime's verbose terminate handler, which
// prints a demangled exception name and drags a demangler and printf into each binary (about
// 75 KB). Exceptions never escape our exports and thread entries, so terminate means abort.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
