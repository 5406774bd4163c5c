// COM on the calling thread for the lifetime of a scope.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace webrt {

// COM for the calling thread for the lifetime of the scope.
class ScopedCoInit {
 public:
  ScopedCoInit() : hr_(CoInitialize(nullptr)) {}
  ~ScopedCoInit() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ScopedCoInit(const ScopedCoInit&) = delete;
  ScopedCoInit& operator=(const ScopedCoInit&) = delete;

 private:
  HRESULT hr_;
};

}  // namespace webrt
