// Permanent (burnt-in) addresses of the network adapters, the network part of
// the machine identifiers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace telemetry {

struct AdapterAddress {
  std::string address;  // "%02X" x 6
  bool wireless = false;
};

// The smallest wired address (lstrcmpA order), else the smallest wireless
// one; empty when there is none.
std::string PickAdapterAddress(const std::vector<AdapterAddress>& adapters);

enum class AdapterKind { kSkipped, kWired, kWireless };

// IP Helper adapter types: IEEE 802.11 is wireless; Ethernet is wireless when
// its description says "wifi" or "wireless" (any case); others are skipped.
AdapterKind ClassifyAdapterType(unsigned int type, std::string_view description);

// A network class entry marks a wireless adapter through its "DriverDesc"
// ("Wireless") or its "Ndi\Interfaces" "LowerRange" ("wlan", "vwifi").
bool IsWirelessClassEntry(std::wstring_view driver_desc, std::wstring_view lower_range);

// MID: the smallest permanent address of the adapters under NetworkCards,
// else the NetBIOS adapter status of the first LAN adapter; empty when neither
// answers.
std::string ReadMidNetworkAddress();

// MID2: the adapters under NetworkCards on a PCI bus (or without a readable
// class entry), wired preferred; else the IP Helper's PCI adapters. Empty when
// nothing qualifies.
std::string ReadMid2NetworkAddress();

}  // namespace telemetry
