#include "telemetry/adapter_address.h"

#include <windows.h>
#include <winioctl.h>
#include <iptypes.h>
#include <nb30.h>

#include <algorithm>
#include <cstring>
#include <cctype>
#include <string>
#include <vector>

#include "base/registry.h"
#include "base/scoped_handle.h"
#include "base/system_library.h"
#include "telemetry/hardware_text.h"

namespace telemetry {
namespace {

constexpr wchar_t kNetworkCardsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
constexpr wchar_t kNetClassKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
constexpr DWORD kMaxNetworkCards = 100;
constexpr int kPciBus = 5;  // the INTERFACE_TYPE value of PCI, as "BusType" stores it
constexpr unsigned int kIfTypeEthernet = 6;
constexpr unsigned int kIfTypeIeee80211 = 71;

// The NDIS query for the burnt-in address; not in the mingw headers.
constexpr DWORD kIoctlNdisQueryGlobalStats = CTL_CODE(0x17 /* FILE_DEVICE_PHYSICAL_NETCARD */, 0,
                                                      METHOD_OUT_DIRECT, FILE_ANY_ACCESS);
constexpr DWORD kOid8023PermanentAddress = 0x01010101;

// The native view, also for a 32-bit process on 64-bit Windows (ignored on
// 32-bit Windows).
constexpr REGSAM kNativeView = KEY_WOW64_64KEY;

std::vector<std::wstring> SubkeyNames(HKEY root, const wchar_t* path, DWORD limit) {
  std::vector<std::wstring> names;
  base::ScopedRegKey key;
  if (RegOpenKeyExW(root, path, 0, KEY_ENUMERATE_SUB_KEYS | kNativeView, key.Receive()) !=
      ERROR_SUCCESS) {
    return names;
  }
  for (DWORD index = 0; index < limit; ++index) {
    wchar_t name[256];
    DWORD length = ARRAYSIZE(name);
    const LONG rc = RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_SUCCESS) names.emplace_back(name, length);
  }
  return names;
}

std::vector<std::wstring> NetworkCardServices() {
  std::vector<std::wstring> services;
  const std::wstring root = kNetworkCardsKey;
  for (const std::wstring& card : SubkeyNames(HKEY_LOCAL_MACHINE, kNetworkCardsKey, kMaxNetworkCards)) {
    std::wstring service;
    if (base::RegReadString(HKEY_LOCAL_MACHINE, (root + L"\\" + card).c_str(), L"ServiceName", &service,
                            0, kNativeView) &&
        !service.empty()) {
      services.push_back(service);
    }
  }
  return services;
}

struct NetClassEntry {
  std::wstring instance_id;
  int bus_type = -1;
  bool wireless = false;
};

std::vector<NetClassEntry> ReadNetClassEntries() {
  std::vector<NetClassEntry> entries;
  const std::wstring root = kNetClassKey;
  for (const std::wstring& name : SubkeyNames(HKEY_LOCAL_MACHINE, kNetClassKey, MAXDWORD)) {
    const std::wstring path = root + L"\\" + name;
    NetClassEntry entry;
    if (!base::RegReadString(HKEY_LOCAL_MACHINE, path.c_str(), L"NetCfgInstanceId", &entry.instance_id,
                             0, kNativeView)) {
      continue;
    }
    // Windows stores "BusType" as a string; accept a number too.
    std::wstring text;
    DWORD number = 0;
    if (base::RegReadString(HKEY_LOCAL_MACHINE, path.c_str(), L"BusType", &text, 0, kNativeView)) {
      entry.bus_type = text.empty() ? -1 : static_cast<int>(wcstol(text.c_str(), nullptr, 10));
    } else if (base::RegReadDword(HKEY_LOCAL_MACHINE, path.c_str(), L"BusType", &number, kNativeView)) {
      entry.bus_type = static_cast<int>(number);
    }
    std::wstring driver_desc, lower_range;
    base::RegReadString(HKEY_LOCAL_MACHINE, path.c_str(), L"DriverDesc", &driver_desc, 0, kNativeView);
    base::RegReadString(HKEY_LOCAL_MACHINE, (path + L"\\Ndi\\Interfaces").c_str(), L"LowerRange",
                        &lower_range, 0, kNativeView);
    entry.wireless = IsWirelessClassEntry(driver_desc, lower_range);
    entries.push_back(std::move(entry));
  }
  return entries;
}

const NetClassEntry* FindClassEntry(const std::vector<NetClassEntry>& entries, std::wstring_view id) {
  for (const NetClassEntry& entry : entries) {
    if (entry.instance_id.size() == id.size() &&
        CompareStringOrdinal(entry.instance_id.data(), static_cast<int>(id.size()), id.data(),
                             static_cast<int>(id.size()), TRUE) == CSTR_EQUAL) {
      return &entry;
    }
  }
  return nullptr;
}

// Asks the adapter's NDIS device ("\\.\{GUID}") for its burnt-in address.
std::string QueryPermanentAddress(const std::wstring& service) {
  base::ScopedHandle device(CreateFileW((L"\\\\.\\" + service).c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
  if (!device) return std::string();
  DWORD oid = kOid8023PermanentAddress;
  uint8_t address[6] = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device.Get(), kIoctlNdisQueryGlobalStats, &oid, sizeof(oid), address,
                       sizeof(address), &returned, nullptr) ||
      returned != sizeof(address)) {
    return std::string();
  }
  return FormatMacAddress(address);
}

std::string NetbiosAdapterAddress() {
  using NetbiosFn = UCHAR(APIENTRY*)(PNCB);
  auto netbios = base::GetSystemProcAs<NetbiosFn>(L"netapi32.dll", "Netbios");
  if (!netbios) return std::string();

  LANA_ENUM lanas = {};
  NCB ncb = {};
  ncb.ncb_command = NCBENUM;
  ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
  ncb.ncb_length = sizeof(lanas);
  if (netbios(&ncb) != NRC_GOODRET || lanas.length == 0) return std::string();
  const UCHAR lana = lanas.lana[0];

  ncb = NCB{};
  ncb.ncb_command = NCBRESET;
  ncb.ncb_lana_num = lana;
  if (netbios(&ncb) != NRC_GOODRET) return std::string();

  struct {
    ADAPTER_STATUS status;
    NAME_BUFFER names[30];
  } adapter = {};
  ncb = NCB{};
  ncb.ncb_command = NCBASTAT;
  ncb.ncb_lana_num = lana;
  std::memset(ncb.ncb_callname, ' ', NCBNAMSZ);
  ncb.ncb_callname[0] = '*';
  ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&adapter);
  ncb.ncb_length = sizeof(adapter);
  if (netbios(&ncb) != NRC_GOODRET) return std::string();
  return FormatMacAddress(adapter.status.adapter_address);
}

std::vector<AdapterAddress> IpHelperPciAdapters(const std::vector<NetClassEntry>& classes) {
  std::vector<AdapterAddress> found;
  using GetAdaptersInfoFn = ULONG(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
  auto get_adapters = base::GetSystemProcAs<GetAdaptersInfoFn>(L"iphlpapi.dll", "GetAdaptersInfo");
  if (!get_adapters) return found;

  std::vector<IP_ADAPTER_INFO> buffer(1);
  ULONG size = sizeof(IP_ADAPTER_INFO);
  ULONG rc = get_adapters(buffer.data(), &size);
  // The list may grow between the two calls; one retry is enough in practice.
  for (int attempt = 0; rc == ERROR_BUFFER_OVERFLOW && attempt < 2; ++attempt) {
    buffer.resize(size / sizeof(IP_ADAPTER_INFO) + 1);
    size = static_cast<ULONG>(buffer.size() * sizeof(IP_ADAPTER_INFO));
    rc = get_adapters(buffer.data(), &size);
  }
  if (rc != ERROR_SUCCESS) return found;

  for (const IP_ADAPTER_INFO* info = buffer.data(); info; info = info->Next) {
    if (info->AddressLength != 6) continue;
    const std::string name(info->AdapterName, strnlen(info->AdapterName, sizeof(info->AdapterName)));
    const NetClassEntry* entry = FindClassEntry(classes, std::wstring(name.begin(), name.end()));
    if (!entry || entry->bus_type != kPciBus) continue;
    const AdapterKind kind = ClassifyAdapterType(
        info->Type, std::string_view(info->Description, strnlen(info->Description, sizeof(info->Description))));
    if (kind == AdapterKind::kSkipped) continue;
    found.push_back({FormatMacAddress(info->Address), kind == AdapterKind::kWireless});
  }
  return found;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
  auto it = std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
  return it != text.end();
}

}  // namespace

std::string PickAdapterAddress(const std::vector<AdapterAddress>& adapters) {
  const AdapterAddress* best = nullptr;
  for (const AdapterAddress& candidate : adapters) {
    if (candidate.address.empty()) continue;
    if (!best || (best->wireless && !candidate.wireless) ||
        (best->wireless == candidate.wireless &&
         lstrcmpA(candidate.address.c_str(), best->address.c_str()) < 0)) {
      best = &candidate;
    }
  }
  return best ? best->address : std::string();
}

AdapterKind ClassifyAdapterType(unsigned int type, std::string_view description) {
  if (type == kIfTypeIeee80211) return AdapterKind::kWireless;
  if (type != kIfTypeEthernet) return AdapterKind::kSkipped;
  return ContainsNoCase(description, "wifi") || ContainsNoCase(description, "wireless")
             ? AdapterKind::kWireless
             : AdapterKind::kWired;
}

bool IsWirelessClassEntry(std::wstring_view driver_desc, std::wstring_view lower_range) {
  return driver_desc.find(L"Wireless") != std::wstring_view::npos ||
         lower_range.find(L"wlan") != std::wstring_view::npos ||
         lower_range.find(L"vwifi") != std::wstring_view::npos;
}

std::string ReadMidNetworkAddress() {
  std::vector<AdapterAddress> adapters;
  for (const std::wstring& service : NetworkCardServices()) {
    adapters.push_back({QueryPermanentAddress(service), false});
  }
  std::string address = PickAdapterAddress(adapters);
  return address.empty() ? NetbiosAdapterAddress() : address;
}

std::string ReadMid2NetworkAddress() {
  const std::vector<NetClassEntry> classes = ReadNetClassEntries();
  std::vector<AdapterAddress> adapters;
  for (const std::wstring& service : NetworkCardServices()) {
    const NetClassEntry* entry = FindClassEntry(classes, service);
    // Virtual and USB adapters come and go; only PCI ones identify a machine.
    if (entry && entry->bus_type != kPciBus) continue;
    adapters.push_back({QueryPermanentAddress(service), entry && entry->wireless});
  }
  std::string address = PickAdapterAddress(adapters);
  return address.empty() ? PickAdapterAddress(IpHelperPciAdapters(classes)) : address;
}

}  // namespace telemetry
