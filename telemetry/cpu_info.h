// The processor's part of the machine identifiers, read with CPUID.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace telemetry {

struct CpuIdentity {
  bool available = false;      // false when the processor has no CPUID
  std::string vendor;          // leaf 0, EBX EDX ECX, 12 characters
  uint32_t signature = 0;      // leaf 1 EAX; 0 without leaf 1
  uint32_t features = 0;       // leaf 1 EDX; 0 without leaf 1
  std::string brand;           // leaves 0x80000002-4 up to the first zero; may be empty
};

CpuIdentity ReadCpuIdentity();

// Fixes the vendor text that some virtual machines report misspelt.
std::string NormalizeCpuVendor(std::string_view vendor);

// MID form: "%s:%08x" of the vendor and the feature flags; empty without CPUID.
std::string FormatMidCpuPart(const CpuIdentity& cpu);

// MID2 form: "%s,%x,%s" of the trimmed vendor, the signature and the trimmed
// brand; empty without CPUID.
std::string FormatMid2CpuPart(const CpuIdentity& cpu);

}  // namespace telemetry
