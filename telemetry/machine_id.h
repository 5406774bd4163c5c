// MID: the older machine identifier, 32 lower-case hex digits of the MID
// digest of the CPU, disk and network-adapter identity, cached in HKLM
// "Software\Hubwright" "mid" (32-bit view) as the MID followed by the MID
// digest of itself.
#pragma once

#include <windows.h>

#include <string>

#include "telemetry/machine_probe.h"

namespace telemetry {

// The MID digest of the fallback text used when no hardware part is found.
constexpr char kMidFallbackText[] = "Mid2Failed";

// The cached MID when "mid" holds a valid value; otherwise computes it from
// `probe` and stores it (moving a differing old value to "mid_old"). The
// fallback MID of a machine without any part is returned but never stored.
std::string ComputeMid(IMachineProbe& probe);

}  // namespace telemetry

// Writes the MID (NUL-terminated, truncated to the buffer) into `buffer` of
// `length` characters. FALSE only for a null buffer or a zero length.
BOOL GetMID(wchar_t* buffer, DWORD length);
