#include "base/os_version.h"

#include <mutex>


namespace base {

bool QueryNtVersion(NtVersion* version) {
  using Fn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetNtVersionNumbers")));
  if (!fn) return false;
  DWORD major = 0, minor = 0, build = 0;
  fn(&major, &minor, &build);
  version->major = major;
  version->minor = minor;
  version->build = build & 0xFFFF;
  return true;
}

const NtVersion& CurrentNtVersion() {
  static NtVersion version;
  static std::once_flag once;
  std::call_once(once, [] { QueryNtVersion(&version); });
  return version;
}

bool Is64BitSystem() {
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  switch (info.wProcessorArchitecture) {
    case 6:   // IA64
    case 9:   // AMD64
    case 12:  // ARM64
      return true;
  }
  using Wow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  auto fn = reinterpret_cast<Wow64Process2Fn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process2")));
  USHORT process_machine = 0, native_machine = 0;
  return fn && fn(GetCurrentProcess(), &process_machine, &native_machine) &&
         native_machine == 0xAA64;
}

bool IsWindows10OrLater(const NtVersion& v) {
  return v.major > 9 || (v.major == 6 && v.minor == 4);
}

}  // namespace base
