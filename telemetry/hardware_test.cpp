#include <windows.h>

#include <gtest/gtest.h>

#include <cpuid.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "telemetry/adapter_address.h"
#include "telemetry/cpu_info.h"
#include "telemetry/disk_serial.h"
#include "telemetry/hardware_text.h"
#include "telemetry/machine_probe.h"

namespace {

using telemetry::AdapterKind;

// An IDENTIFY block carries its strings as 16-bit words, high byte first.
std::vector<uint8_t> IdentifyWithSerial(const char serial[20]) {
  std::vector<uint8_t> block(512, 0xCC);
  for (int i = 0; i < 10; ++i) {
    block[20 + 2 * i] = static_cast<uint8_t>(serial[2 * i + 1]);
    block[20 + 2 * i + 1] = static_cast<uint8_t>(serial[2 * i]);
  }
  return block;
}

TEST(DiskSerial, IdentifyWordsAreByteSwapped) {
  const std::vector<uint8_t> block = IdentifyWithSerial("  WD-WCAV12345678   ");
  const std::string serial = telemetry::SerialFromIdentify(block.data(), block.size());
  EXPECT_EQ(serial, "  WD-WCAV12345678   ");
  EXPECT_EQ(telemetry::TrimSpaces(serial, false), "  WD-WCAV12345678");
  EXPECT_EQ(telemetry::TrimSpaces(serial, true), "WD-WCAV12345678");
}

TEST(DiskSerial, ZeroByteEndsTheSerialAndShortBlocksGiveNothing) {
  char raw[20];
  std::memcpy(raw, "S3Z9NB0K12", 10);
  std::memset(raw + 10, 0, 10);
  std::vector<uint8_t> block = IdentifyWithSerial(raw);
  EXPECT_EQ(telemetry::SerialFromIdentify(block.data(), block.size()), "S3Z9NB0K12");
  std::memcpy(raw, "ABC", 4);  // odd length: the zero is the low byte of a word
  block = IdentifyWithSerial(raw);
  EXPECT_EQ(telemetry::SerialFromIdentify(block.data(), block.size()), "ABC");
  EXPECT_EQ(telemetry::SerialFromIdentify(block.data(), 39), "");
}

TEST(CpuInfo, PartFormats) {
  telemetry::CpuIdentity cpu;
  EXPECT_EQ(telemetry::FormatMidCpuPart(cpu), "");
  EXPECT_EQ(telemetry::FormatMid2CpuPart(cpu), "");

  cpu.available = true;
  cpu.vendor = "GenuineIotel";
  cpu.features = 0x0febfbff;
  cpu.signature = 0x000906EA;
  cpu.brand = "       Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz  ";
  EXPECT_EQ(telemetry::FormatMidCpuPart(cpu), "GenuineIntel:0febfbff");
  EXPECT_EQ(telemetry::FormatMid2CpuPart(cpu), "GenuineIntel,906ea,Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");

  cpu.vendor = "AuthenticAMD";
  cpu.signature = 0;
  cpu.brand.clear();
  EXPECT_EQ(telemetry::FormatMid2CpuPart(cpu), "AuthenticAMD,0,");
  EXPECT_EQ(telemetry::NormalizeCpuVendor("GenuineIntel"), "GenuineIntel");
}

TEST(CpuInfo, ReadsThisProcessor) {
  unsigned int a = 0, b = 0, c = 0, d = 0;
  ASSERT_TRUE(__get_cpuid(0, &a, &b, &c, &d));
  char vendor[13] = {};
  std::memcpy(vendor, &b, 4);
  std::memcpy(vendor + 4, &d, 4);
  std::memcpy(vendor + 8, &c, 4);
  ASSERT_TRUE(__get_cpuid(1, &a, &b, &c, &d));
  char expected[32];
  std::snprintf(expected, sizeof(expected), "%s:%08x", telemetry::NormalizeCpuVendor(vendor).c_str(), d);

  telemetry::CSystemMachineProbe probe;
  EXPECT_EQ(probe.MidCpuPart(), expected);
  const std::string mid2_cpu = probe.Mid2CpuPart();
  char signature[16];
  std::snprintf(signature, sizeof(signature), ",%x,", a);
  EXPECT_EQ(mid2_cpu.find(signature), telemetry::TrimSpaces(vendor, true).size()) << mid2_cpu;
  EXPECT_EQ(probe.Mid2CpuPart(), mid2_cpu);
}

TEST(AdapterAddress, WiredBeatsWirelessThenSmallestWins) {
  struct Case {
    std::vector<telemetry::AdapterAddress> adapters;
    const char* expected;
  } cases[] = {
      {{}, ""},
      {{{"", false}}, ""},
      {{{"00155D010203", true}, {"F0DEF1000001", false}}, "F0DEF1000001"},
      {{{"F0DEF1000001", false}, {"0A0000000000", false}, {"0B0000000000", false}}, "0A0000000000"},
      {{{"B0DEF1000001", true}, {"A0DEF1000001", true}}, "A0DEF1000001"},
      {{{"", false}, {"9C0000000000", true}}, "9C0000000000"},
      {{{"AA0000000000", false}, {"A90000000000", false}, {"000000000001", true}}, "A90000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(telemetry::PickAdapterAddress(c.adapters), c.expected);
}

TEST(AdapterAddress, AdapterTypesAndDescriptions) {
  EXPECT_EQ(telemetry::ClassifyAdapterType(71, "Intel(R) Dual Band"), AdapterKind::kWireless);
  EXPECT_EQ(telemetry::ClassifyAdapterType(6, "Realtek PCIe GbE Family Controller"), AdapterKind::kWired);
  EXPECT_EQ(telemetry::ClassifyAdapterType(6, "Qualcomm Atheros WiFi Adapter"), AdapterKind::kWireless);
  EXPECT_EQ(telemetry::ClassifyAdapterType(6, "Broadcom 802.11n WIRELESS"), AdapterKind::kWireless);
  EXPECT_EQ(telemetry::ClassifyAdapterType(24, "Software Loopback"), AdapterKind::kSkipped);
  EXPECT_EQ(telemetry::ClassifyAdapterType(23, "WAN Miniport (PPPOE)"), AdapterKind::kSkipped);

  EXPECT_TRUE(telemetry::IsWirelessClassEntry(L"Intel(R) Wireless-AC 9560", L""));
  EXPECT_TRUE(telemetry::IsWirelessClassEntry(L"Generic adapter", L"wlan,ethernet,vwifi"));
  EXPECT_TRUE(telemetry::IsWirelessClassEntry(L"", L"vwifi"));
  EXPECT_FALSE(telemetry::IsWirelessClassEntry(L"Realtek PCIe GbE", L"ethernet"));
  EXPECT_FALSE(telemetry::IsWirelessClassEntry(L"wireless lowercase", L"ethernet"));
}

bool IsUpperHexAddress(const std::string& text) {
  if (text.size() != 12) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) || std::islower(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Under Wine there are no physical drives to ask, while the host's network
// interfaces do answer the permanent-address query: each real query must give
// a well-formed part or nothing.
TEST(MachineProbe, RealQueriesAnswerOrStayEmpty) {
  telemetry::CSystemMachineProbe probe;
  const std::string mid_net = probe.MidNetworkPart(), mid2_net = probe.Mid2NetworkPart();
  if (!mid_net.empty()) {
    EXPECT_TRUE(IsUpperHexAddress(mid_net)) << mid_net;
  }
  if (!mid2_net.empty()) {
    EXPECT_TRUE(IsUpperHexAddress(mid2_net)) << mid2_net;
  }
  const std::string mid_disk = probe.MidDiskPart(), mid2_disk = probe.Mid2DiskPart();
  if (!mid_disk.empty()) {
    EXPECT_NE(mid_disk.back(), ' ');
  }
  if (!mid2_disk.empty()) {
    EXPECT_EQ(telemetry::TrimSpaces(mid2_disk, true), mid2_disk);
  }
  GUID first, second;
  ASSERT_TRUE(probe.NewGuid(&first));
  ASSERT_TRUE(probe.NewGuid(&second));
  EXPECT_FALSE(IsEqualGUID(first, second));
}

// Install.exe may import only DLLs that Windows always takes from System32;
// IP Helper and NetBIOS must be looked up at run time. This program links the
// same code, so its import table shows what the library pulls in.
TEST(MachineProbe, ImportsOnlyKnownDlls) {
  const auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(dir.VirtualAddress, 0u);
  const char* const kKnown[] = {"kernel32.dll", "user32.dll",   "gdi32.dll",  "advapi32.dll",
                                "shell32.dll",  "shlwapi.dll",  "ole32.dll",  "oleaut32.dll",
                                "msvcrt.dll",   "rpcrt4.dll",   "ws2_32.dll", "comdlg32.dll",
                                "setupapi.dll", "psapi.dll",    "imm32.dll"};
  int count = 0;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
       entry->Name != 0; ++entry, ++count) {
    const char* name = reinterpret_cast<const char*>(base + entry->Name);
    bool known = false;
    for (const char* k : kKnown) known = known || lstrcmpiA(name, k) == 0;
    EXPECT_TRUE(known) << name;
  }
  EXPECT_GT(count, 0);
}

}  // namespace
