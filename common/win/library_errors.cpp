// Linked into every deliverable in place of the C++ runtime's helpers that the standard containers
// call to throw (length_error, out_of_range, ...). The runtime's own build those exceptions from
// its reference-counted strings, and that drags both of its string instantiations, their unwind
// tables and the classes of <stdexcept> into each binary (about 85 KB). Our code catches these
// only with catch (...) at the exports and thread entries, and the allocation failures as
// std::bad_alloc, which they stay; the rest throw one small class with the same message.
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class LibraryError : public std::exception {
 public:
  explicit LibraryError(const char* what) noexcept : what_(what ? what : "library error") {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_;
};

[[noreturn]] void Raise(const char* what) { throw LibraryError(what); }

}  // namespace

#define QV_RUNTIME_HELPER __attribute__((used, noreturn))

namespace std {

QV_RUNTIME_HELPER void __throw_bad_alloc() { throw bad_alloc(); }
QV_RUNTIME_HELPER void __throw_bad_array_new_length() { throw bad_array_new_length(); }
QV_RUNTIME_HELPER void __throw_bad_cast() { throw bad_cast(); }
QV_RUNTIME_HELPER void __throw_bad_typeid() { throw bad_typeid(); }
QV_RUNTIME_HELPER void __throw_bad_exception() { throw bad_exception(); }
QV_RUNTIME_HELPER void __throw_logic_error(const char* what) { Raise(what); }
QV_RUNTIME_HELPER void __throw_domain_error(const char* what) { Raise(what); }
QV_RUNTIME_HELPER void __throw_invalid_argument(const char* what) { Raise(what); }
QV_RUNTIME_HELPER void __throw_length_error(const char* what) { Raise(what); }
QV_RUNTIME_HELPER void __throw_out_of_range(const char* what) { Raise(what); }
// The format's arguments are left out: nothing prints the message.
QV_RUNTIME_HELPER void __throw_out_of_range_fmt(const char* format, ...) { Raise(format); }
QV_RUNTIME_HELPER void __throw_runtime_error(const char* what) { Raise(what); }
QV_RUNTIME_HELPER void __throw_range_error(const char* what) { Raise(what); }
QV_RUNTIME_HELPER void __throw_overflow_error(const char* what) { Raise(what); }
QV_RUNTIME_HELPER void __throw_underflow_error(const char* what) { Raise(what); }

}  // namespace std
