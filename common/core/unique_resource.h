// Move-only owner of one system resource (handle, key, module...) with a close policy, and a
// scope-exit helper. Portable: the Windows close policies live in common/win/handles.h.
#pragma once

#include <utility>

namespace qv {

// Traits: `using Type = ...; static Type Invalid(); static void Close(Type);`
template <typename Traits>
class UniqueResource {
 public:
  using Type = typename Traits::Type;

  UniqueResource() noexcept : m_value(Traits::Invalid()) {}
  explicit UniqueResource(Type value) noexcept : m_value(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& other) noexcept : m_value(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  Type get() const noexcept { return m_value; }
  bool valid() const noexcept { return m_value != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Gives up ownership without closing.
  Type release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

  // Closes what is held, then holds `value`.
  void reset(Type value = Traits::Invalid()) noexcept {
    const Type old = std::exchange(m_value, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  // For APIs that return a handle through an out-parameter: frees what was held first.
  Type* put() noexcept {
    reset();
    return &m_value;
  }

 private:
  Type m_value;
};

// Runs a function at scope exit unless release() was called ("undo unless committed").
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) noexcept : m_f(std::move(f)) {}
  ~ScopeExit() {
    if (m_armed) m_f();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  void release() noexcept { m_armed = false; }

 private:
  F m_f;
  bool m_armed = true;
};

template <typename F>
ScopeExit<F> MakeScopeExit(F f) {
  return ScopeExit<F>(std::move(f));
}

}  // namespace qv
