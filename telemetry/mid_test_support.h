// Test helpers for the identifier units: a scripted machine and a guard that
// gives each test a clean "Hubwright" key and removes what it wrote.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/registry.h"
#include "base/scoped_handle.h"
#include "telemetry/machine_probe.h"

namespace telemetry_test {

constexpr wchar_t kHubwrightKey[] = L"SOFTWARE\\Hubwright";
constexpr REGSAM kView = KEY_WOW64_32KEY;
constexpr wchar_t kAbsent[] = L"<absent>";

// Answers chosen by the test. MID2 parts are scripted per gathering: the
// n-th entry answers after n waits; the last entry repeats.
class CFakeMachineProbe : public telemetry::IMachineProbe {
 public:
  struct Gathering {
    std::string network, disk, cpu;
  };

  std::string mid_cpu, mid_disk, mid_network;
  std::vector<Gathering> gatherings{Gathering{}};
  bool elevated = true;
  bool guid_available = true;
  GUID guid = {0x04030201, 0x0605, 0x0807, {0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10}};

  int mid_queries = 0;
  int mid2_gatherings = 0;
  std::vector<DWORD> waits;

  std::string MidCpuPart() override {
    ++mid_queries;
    return mid_cpu;
  }
  std::string MidDiskPart() override {
    ++mid_queries;
    return mid_disk;
  }
  std::string MidNetworkPart() override {
    ++mid_queries;
    return mid_network;
  }
  std::string Mid2NetworkPart() override {
    ++mid2_gatherings;
    return Current().network;
  }
  std::string Mid2DiskPart() override { return Current().disk; }
  std::string Mid2CpuPart() override { return Current().cpu; }
  bool IsElevated() override { return elevated; }
  bool NewGuid(GUID* out) override {
    if (!guid_available) return false;
    *out = guid;
    return true;
  }
  void Wait(DWORD milliseconds) override { waits.push_back(milliseconds); }

 private:
  const Gathering& Current() const {
    return gatherings[std::min(waits.size(), gatherings.size() - 1)];
  }
};

inline std::wstring ReadHubwright(const wchar_t* name) {
  std::wstring value;
  return base::RegReadString(HKEY_LOCAL_MACHINE, kHubwrightKey, name, &value, 0, kView) ? value
                                                                                           : kAbsent;
}

inline void WriteHubwright(const wchar_t* name, const std::wstring& value) {
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kHubwrightKey, name, value, false, kView));
}

inline std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Clears the identifier values before and after a test. The key itself is
// shared with the statistics reporter, so it is removed afterwards only when
// the test created it.
class CHubwrightGuard {
 public:
  CHubwrightGuard() {
    base::ScopedRegKey key;
    existed_ = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHubwrightKey, 0, KEY_QUERY_VALUE | kView,
                             key.Receive()) == ERROR_SUCCESS;
    Clear();
  }
  ~CHubwrightGuard() {
    Clear();
    if (!existed_) base::RegRemoveTree(HKEY_LOCAL_MACHINE, kHubwrightKey, kView);
  }

 private:
  static void Clear() {
    for (const wchar_t* name : {L"mid", L"mid_old", L"m2", L"m2_old"}) {
      base::RegRemoveValue(HKEY_LOCAL_MACHINE, kHubwrightKey, name, kView);
    }
  }
  bool existed_ = false;
};

}  // namespace telemetry_test
