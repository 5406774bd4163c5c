#include "telemetry/cpu_info.h"

#include <cpuid.h>

#include <cstdio>
#include <cstring>

#include "telemetry/hardware_text.h"

namespace telemetry {

CpuIdentity ReadCpuIdentity() {
  CpuIdentity cpu;
  // On i386 this also tests the EFLAGS ID bit, so a processor without CPUID
  // answers 0 instead of faulting.
  unsigned int vendor_words[3] = {};
  const unsigned int max_leaf = __get_cpuid_max(0, nullptr);
  unsigned int a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(0, &a, &b, &c, &d)) return cpu;
  cpu.available = true;
  vendor_words[0] = b;
  vendor_words[1] = d;
  vendor_words[2] = c;
  cpu.vendor.assign(reinterpret_cast<const char*>(vendor_words), sizeof(vendor_words));
  cpu.vendor.resize(std::strlen(cpu.vendor.c_str()));

  if (max_leaf >= 1 && __get_cpuid(1, &a, &b, &c, &d)) {
    cpu.signature = a;
    cpu.features = d;
  }
  if (__get_cpuid_max(0x80000000, nullptr) >= 0x80000004) {
    unsigned int brand[12] = {};
    for (unsigned int i = 0; i < 3; ++i) {
      __get_cpuid(0x80000002 + i, &brand[i * 4], &brand[i * 4 + 1], &brand[i * 4 + 2],
                  &brand[i * 4 + 3]);
    }
    const char* text = reinterpret_cast<const char*>(brand);
    cpu.brand.assign(text, strnlen(text, sizeof(brand)));
  }
  return cpu;
}

std::string NormalizeCpuVendor(std::string_view vendor) {
  if (vendor == "GenuineIotel") return "GenuineIntel";
  return std::string(vendor);
}

std::string FormatMidCpuPart(const CpuIdentity& cpu) {
  if (!cpu.available) return std::string();
  char features[16];
  std::snprintf(features, sizeof(features), ":%08x", cpu.features);
  return NormalizeCpuVendor(cpu.vendor) + features;
}

std::string FormatMid2CpuPart(const CpuIdentity& cpu) {
  if (!cpu.available) return std::string();
  char signature[16];
  std::snprintf(signature, sizeof(signature), ",%x,", cpu.signature);
  return NormalizeCpuVendor(TrimSpaces(cpu.vendor, true)) + signature + TrimSpaces(cpu.brand, true);
}

}  // namespace telemetry
