#include "telemetry/statistic_transport.h"

#include <iphlpapi.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// What the fake system calls answer.
struct FakeNetwork {
  BOOL connected_result = FALSE;
  DWORD connected_flags = 0;
  ULONG adapters_result = NO_ERROR;
  std::vector<std::string> gateways;  // one adapter each
  std::vector<ULONG> sizes_offered;   // buffer sizes the caller passed in
};
FakeNetwork g_net;

BOOL WINAPI FakeConnected(LPDWORD flags, DWORD) {
  *flags = g_net.connected_flags;
  return g_net.connected_result;
}

// Behaves like GetAdaptersInfo: asks for more room when the list does not fit.
ULONG WINAPI FakeAdapters(void* buffer, PULONG size) {
  g_net.sizes_offered.push_back(*size);
  if (g_net.adapters_result != NO_ERROR) return g_net.adapters_result;
  if (g_net.gateways.empty()) return ERROR_NO_DATA;
  const ULONG needed = static_cast<ULONG>(g_net.gateways.size() * sizeof(IP_ADAPTER_INFO));
  if (*size < needed) {
    *size = needed;
    return ERROR_BUFFER_OVERFLOW;
  }
  auto* list = static_cast<IP_ADAPTER_INFO*>(buffer);
  std::memset(list, 0, needed);
  for (size_t i = 0; i < g_net.gateways.size(); ++i) {
    std::strncpy(list[i].GatewayList.IpAddress.String, g_net.gateways[i].c_str(), 15);
    list[i].Next = i + 1 < g_net.gateways.size() ? &list[i + 1] : nullptr;
  }
  return NO_ERROR;
}

const telemetry::ConnectivityApi kFakeApi = {&FakeConnected, &FakeAdapters};

TEST(IsConnected, ConnectedStateOrAnyGatewayCounts) {
  struct Case {
    BOOL connected_result;
    DWORD flags;
    std::vector<std::string> gateways;
    bool expected;
  } cases[] = {
      {TRUE, INTERNET_CONNECTION_LAN, {}, true},
      {TRUE, INTERNET_CONNECTION_MODEM, {}, true},
      {TRUE, INTERNET_CONNECTION_PROXY, {}, true},
      {TRUE, INTERNET_CONNECTION_OFFLINE, {}, false},
      {FALSE, INTERNET_CONNECTION_LAN, {}, false},  // the call's failure wins over its flags
      {FALSE, 0, {"", ""}, false},
      {FALSE, 0, {"", "192.168.1.1"}, true},
      {FALSE, 0, {"10.0.0.1"}, true},
  };
  for (const Case& c : cases) {
    g_net = FakeNetwork();
    g_net.connected_result = c.connected_result;
    g_net.connected_flags = c.flags;
    g_net.gateways = c.gateways;
    EXPECT_EQ(telemetry::IsConnected(kFakeApi), c.expected)
        << c.connected_result << " " << c.flags << " " << c.gateways.size();
  }
}

TEST(IsConnected, AsksAgainWithTheSizeTheSystemWants) {
  g_net = FakeNetwork();
  g_net.gateways = {"", "", "", "172.16.0.1"};  // four adapters do not fit in 648 bytes
  EXPECT_TRUE(telemetry::IsConnected(kFakeApi));
  ASSERT_EQ(g_net.sizes_offered.size(), 2u);
  EXPECT_EQ(g_net.sizes_offered[0], 648u);
  EXPECT_EQ(g_net.sizes_offered[1], 4 * sizeof(IP_ADAPTER_INFO));
}

TEST(IsConnected, AdapterFailureOrMissingCallsMeanNotConnected) {
  g_net = FakeNetwork();
  g_net.adapters_result = ERROR_NOT_SUPPORTED;
  EXPECT_FALSE(telemetry::IsConnected(kFakeApi));
  EXPECT_FALSE(telemetry::IsConnected(telemetry::ConnectivityApi()));
}

TEST(UrlCacheCanName, OnlyWhenTheTextAfterTheLastDotCanEndAFileName) {
  struct Case {
    const wchar_t* url;
    bool expected;
  } cases[] = {
      {L"http://127.0.0.1:18233/pc_all?a=1", false},  // ".1:18233/pc_all?a=1"
      {L"http://stats/pc_all?a=1&ex_ary[os]=6.1.7601&ex_ary[new_user]=1&ex_ary[interval]=0", true},
      {L"http://stats/pc_all?a=1", true},  // no dot at all
      {L"http://stats/pc_all?v=1.2&x=a:b", false},
      {L"http://stats/file.exe", true},
      {L"http://stats/pc_all?v=1.2&x=a|b", false},
  };
  for (const Case& c : cases) EXPECT_EQ(telemetry::UrlCacheCanName(c.url), c.expected) << c.url;
  EXPECT_TRUE(telemetry::UrlCacheCanName(L"http://s/p?v=1." + std::wstring(127, L'x')));
  EXPECT_FALSE(telemetry::UrlCacheCanName(L"http://s/p?v=1." + std::wstring(128, L'x')));
}

}  // namespace
