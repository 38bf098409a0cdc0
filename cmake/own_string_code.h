// Included ahead of every C++ source of the Windows builds (see mingw-toolchain.cmake).
// The runtime library declares its std::string and std::wstring members as instantiated in the
// library; the linker then keeps every member of those instantiation objects (their unwind
// entries hold them all), some 35 KB each. The value -1 stops those declarations for
// basic_string only, so that each binary compiles just the members it calls.
#ifdef __cplusplus
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
#endif
