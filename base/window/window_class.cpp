#include "base/window/window_class.h"

#include <cstdint>
#include <vector>

#include "base/critical_section.h"
#include "base/window/app_module.h"

namespace {

struct Registration {
  CWndClassInfo* info;
  HINSTANCE instance;
};

// Function-local: usable before (or without) global constructors running.
CCriticalSection& RegistryLock() {
  static CCriticalSection lock;
  return lock;
}

std::vector<Registration>& Registrations() {
  static std::vector<Registration> registrations;
  return registrations;
}

}  // namespace

const wchar_t* CWndClassInfo::ClassName() {
  if (name) return name;
  if (generated_name[0] == L'\0') {
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    const uintptr_t address = reinterpret_cast<uintptr_t>(this);
    const int digits = 2 * sizeof(void*);
    wchar_t* out = generated_name;
    for (const wchar_t* p = L"ATL:"; *p; ++p) *out++ = *p;
    for (int i = digits - 1; i >= 0; --i) *out++ = kHex[(address >> (4 * i)) & 0xF];
    *out = L'\0';
  }
  return generated_name;
}

ATOM CWndClassInfo::Register(WNDPROC window_proc) {
  // Asked before taking our lock: the module has a lock of its own.
  const HINSTANCE instance = AppModule().GetModuleInstance();
  CAutoLocker lock(RegistryLock());
  if (atom) return atom;

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = window_proc;
  wc.cbWndExtra = kWndObjectSlot + sizeof(LONG_PTR);
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground =
      background < 0 ? nullptr : reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background) + 1);
  wc.lpszClassName = ClassName();
  atom = ::RegisterClassExW(&wc);
  if (atom) Registrations().push_back({this, instance});
  return atom;
}

BOOL UnregisterWndClasses() {
  CAutoLocker lock(RegistryLock());
  std::vector<Registration>& registrations = Registrations();
  std::vector<Registration> kept;
  for (const Registration& r : registrations) {
    if (::UnregisterClassW(MAKEINTATOM(r.info->atom), r.instance)) {
      r.info->atom = 0;
    } else {
      kept.push_back(r);
    }
  }
  registrations.swap(kept);
  return registrations.empty();
}
