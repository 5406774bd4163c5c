// RAII owners for Win32 handles. Closing keeps GetLastError intact so that a
// failure path can still report why it failed.
#pragma once

#include <windows.h>

#include <utility>

namespace base {

template <class Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;
  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle h) : h_(h) {}
  ~ScopedGeneric() { Close(); }
  ScopedGeneric(ScopedGeneric&& other) noexcept : h_(other.Release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;

  bool IsValid() const { return Traits::IsValid(h_); }
  explicit operator bool() const { return IsValid(); }
  Handle Get() const { return h_; }
  Handle Release() { return std::exchange(h_, Traits::Null()); }
  void Reset(Handle h = Traits::Null()) {
    Close();
    h_ = h;
  }
  // For out-parameters of system calls; closes what was held before.
  Handle* Receive() {
    Close();
    return &h_;
  }

 private:
  void Close() {
    if (Traits::IsValid(h_)) {
      DWORD err = GetLastError();
      Traits::Close(h_);
      SetLastError(err);
    }
    h_ = Traits::Null();
  }
  Handle h_ = Traits::Null();
};

struct HandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { FreeLibrary(h); }
};

using ScopedHandle = ScopedGeneric<HandleTraits>;
using ScopedRegKey = ScopedGeneric<RegKeyTraits>;
using ScopedModule = ScopedGeneric<ModuleTraits>;

}  // namespace base
