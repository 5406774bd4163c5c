// What Windows we run on: the true version (not the manifest-dependent one of
// GetVersionEx) and the processor architecture of the system.
#pragma once

#include <windows.h>

namespace base {

struct NtVersion {
  DWORD major = 0;
  DWORD minor = 0;
  DWORD build = 0;  // low 16 bits only
};

// Asks ntdll's RtlGetNtVersionNumbers (looked up by name). False when absent.
bool QueryNtVersion(NtVersion* version);

// Process-wide version, queried once and then remembered.
const NtVersion& CurrentNtVersion();

// True for a 64-bit Windows: native architecture AMD64, IA64 or ARM64, or an
// ARM64 native machine reported by IsWow64Process2.
bool Is64BitSystem();

// Windows 10 or later (major above 9, or the early 6.4 numbering).
bool IsWindows10OrLater(const NtVersion& v);

}  // namespace base
