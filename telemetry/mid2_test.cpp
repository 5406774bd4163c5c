#include "telemetry/mid2.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "telemetry/crc8.h"
#include "telemetry/mid_test_support.h"
#include "telemetry/sha1.h"

namespace {

using telemetry_test::CFakeMachineProbe;
using telemetry_test::kAbsent;
using telemetry_test::ReadHubwright;
using telemetry_test::Wide;
using telemetry_test::WriteHubwright;

constexpr char kNet[] = "001122AABBCC";
constexpr char kDisk[] = "WD-WCAV12345678";
constexpr char kCpu[] = "GenuineIntel,906ea,Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz";
// The fake probe's GUID bytes in memory order.
constexpr char kGuidHex[] = "0102030405060708090a0b0c0d0e0f10";

// The expected value assembled by hand: identifier, flag, check byte.
std::string WithFlagAndCheck(const std::string& identifier, unsigned flag) {
  char tail[3];
  std::snprintf(tail, sizeof(tail), "%02x", flag);
  std::string text = identifier + tail;
  std::snprintf(tail, sizeof(tail), "%02x", telemetry::Crc8Maxim(text));
  return text + tail;
}

std::string HardwareMid2(const std::string& parts, unsigned flag) {
  return WithFlagAndCheck(telemetry::Sha1Hex(parts), flag);
}

class Mid2Test : public ::testing::Test {
 protected:
  telemetry_test::CHubwrightGuard guard_;
};

TEST_F(Mid2Test, HardwareIdentifierIsDigestFlagAndCheckByte) {
  CFakeMachineProbe probe;
  probe.gatherings = {{kNet, kDisk, kCpu}};
  const std::string mid2 = telemetry::ComputeMid2(probe);
  ASSERT_EQ(mid2.size(), 44u);
  EXPECT_EQ(mid2, HardwareMid2(std::string(kNet) + kDisk + kCpu, 0x2b));
  std::string narrow;
  EXPECT_TRUE(telemetry::IsValidMid2(Wide(mid2), &narrow));
  EXPECT_TRUE(probe.waits.empty());  // both parts found: no second look
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(mid2));
  EXPECT_EQ(ReadHubwright(L"m2_old"), kAbsent);
}

TEST_F(Mid2Test, FlagBitsFollowThePartsFound) {
  CFakeMachineProbe probe;
  probe.gatherings = {{"", kDisk, ""}};
  EXPECT_EQ(telemetry::ComputeMid2(probe), HardwareMid2(kDisk, 0x22));
  EXPECT_EQ(probe.waits, std::vector<DWORD>{500});
}

TEST_F(Mid2Test, NotElevatedRunMarksTheIdentifier) {
  CFakeMachineProbe probe;
  probe.elevated = false;
  probe.gatherings = {{kNet, kDisk, kCpu}};
  const std::string mid2 = telemetry::ComputeMid2(probe);
  const std::string digest = telemetry::Sha1Hex(std::string(kNet) + kDisk + kCpu);
  EXPECT_EQ(mid2, WithFlagAndCheck("eeeeeeee" + digest.substr(8), 0x2b));
  EXPECT_EQ(mid2.substr(8, 32), digest.substr(8));
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(mid2));
}

TEST_F(Mid2Test, NotElevatedRunKeepsAValidCacheWithoutLooking) {
  const std::string cached = HardwareMid2("earlier machine", 0x2b);
  WriteHubwright(L"m2", Wide(cached));
  CFakeMachineProbe probe;
  probe.elevated = false;
  probe.gatherings = {{kNet, kDisk, kCpu}};
  EXPECT_EQ(telemetry::ComputeMid2(probe), cached);
  EXPECT_EQ(probe.mid2_gatherings, 0);
}

TEST_F(Mid2Test, NoHardwareGivesARandomIdentifierThatTheNextRunReuses) {
  CFakeMachineProbe first_run;
  first_run.gatherings = {{"", "", kCpu}};
  const std::string mid2 = telemetry::ComputeMid2(first_run);
  EXPECT_EQ(mid2, WithFlagAndCheck(std::string("ffffffff") + kGuidHex, 0x10));
  EXPECT_EQ(mid2.substr(40, 2), "10");
  EXPECT_EQ(first_run.waits, std::vector<DWORD>{500});
  EXPECT_EQ(first_run.mid2_gatherings, 2);
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(mid2));

  // The next run draws another GUID but keeps the stored identifier (ii),
  // elevated or not, and writes nothing.
  for (bool elevated : {true, false}) {
    CFakeMachineProbe next_run;
    next_run.elevated = elevated;
    next_run.guid.Data1 = 0xdeadbeef;
    EXPECT_EQ(telemetry::ComputeMid2(next_run), mid2);
    EXPECT_TRUE(next_run.waits.empty());
  }
  EXPECT_EQ(ReadHubwright(L"m2_old"), kAbsent);

  // Hardware that shows up later does not replace a random identifier (i).
  CFakeMachineProbe later;
  later.gatherings = {{kNet, kDisk, kCpu}};
  EXPECT_EQ(telemetry::ComputeMid2(later), mid2);
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(mid2));
}

TEST_F(Mid2Test, NotElevatedRandomIdentifierKeepsItsPrefix) {
  CFakeMachineProbe probe;
  probe.elevated = false;
  EXPECT_EQ(telemetry::ComputeMid2(probe), WithFlagAndCheck(std::string("ffffffff") + kGuidHex, 0x10));
}

TEST_F(Mid2Test, NoGuidGivesFortyZeros) {
  CFakeMachineProbe probe;
  probe.guid_available = false;
  EXPECT_EQ(telemetry::ComputeMid2(probe), WithFlagAndCheck(std::string(40, '0'), 0x10));
}

TEST_F(Mid2Test, CacheWithWrongCheckByteCountsAsAbsent) {
  std::string bad = HardwareMid2("earlier machine", 0x2b);
  bad[43] = bad[43] == '0' ? '1' : '0';
  WriteHubwright(L"m2", Wide(bad));
  CFakeMachineProbe probe;
  probe.elevated = false;  // a valid cache would be returned untouched
  probe.gatherings = {{kNet, kDisk, kCpu}};
  const std::string mid2 = telemetry::ComputeMid2(probe);
  EXPECT_EQ(mid2.substr(0, 8), "eeeeeeee");
  EXPECT_EQ(probe.mid2_gatherings, 1);
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(mid2));
  EXPECT_EQ(ReadHubwright(L"m2_old"), Wide(bad));
}

TEST_F(Mid2Test, ValidityRules) {
  const std::string good = HardwareMid2("x", 0x2b);
  std::string narrow;
  EXPECT_TRUE(telemetry::IsValidMid2(Wide(good), &narrow));
  EXPECT_EQ(narrow, good);
  std::string upper = good;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  // Upper-case check digits read as the same hex value; the CRC covers the
  // characters as they are, so only the last two may change case.
  std::string upper_check = good.substr(0, 42) + upper.substr(42);
  EXPECT_TRUE(telemetry::IsValidMid2(Wide(upper_check), &narrow));
  EXPECT_FALSE(telemetry::IsValidMid2(Wide(good.substr(0, 43)), &narrow));
  EXPECT_FALSE(telemetry::IsValidMid2(Wide(good + "0"), &narrow));
  EXPECT_FALSE(telemetry::IsValidMid2(Wide(good.substr(0, 42) + "zz"), &narrow));
  EXPECT_TRUE(narrow.empty());
  std::wstring non_ascii = Wide(good);
  non_ascii[3] = L'\x00E9';
  EXPECT_FALSE(telemetry::IsValidMid2(non_ascii, &narrow));
}

// (i) with an equal identifier: the cached text stays as it is and nothing
// is written. The check byte covers the characters as they are, so only its
// own two digits can differ in case in a valid entry.
TEST_F(Mid2Test, SameHardwareAsCachedWritesNothing) {
  const std::string built = HardwareMid2(std::string(kNet) + kDisk + kCpu, 0x2b);
  std::string cached = built;
  for (size_t i = 42; i < 44; ++i) cached[i] = static_cast<char>(toupper(static_cast<unsigned char>(cached[i])));
  ASSERT_NE(cached, built);  // this digest's check byte has letters
  WriteHubwright(L"m2", Wide(cached));
  CFakeMachineProbe probe;
  probe.gatherings = {{kNet, kDisk, kCpu}};
  EXPECT_EQ(telemetry::ComputeMid2(probe), cached);
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(cached));
  EXPECT_EQ(ReadHubwright(L"m2_old"), kAbsent);
}

// (i), (iii), (iv): built from the first look; the second look adds nothing,
// so the first identifier is stored and the old one kept.
TEST_F(Mid2Test, SecondLookFindingNothingMoreStoresTheFirstIdentifier) {
  const std::string previous = HardwareMid2("earlier machine", 0x2b);
  WriteHubwright(L"m2", Wide(previous));
  CFakeMachineProbe probe;
  probe.gatherings = {{kNet, "", kCpu}, {"", "", kCpu}};
  const std::string mid2 = telemetry::ComputeMid2(probe);
  EXPECT_EQ(mid2, HardwareMid2(std::string(kNet) + kCpu, 0x29));
  EXPECT_EQ(probe.waits, std::vector<DWORD>{500});
  EXPECT_EQ(probe.mid2_gatherings, 2);
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(mid2));
  EXPECT_EQ(ReadHubwright(L"m2_old"), Wide(previous));
}

// (v): the second look finds the disk too, so the identifier is built anew
// from both looks.
TEST_F(Mid2Test, SecondLookFindingMoreRebuildsTheIdentifier) {
  const std::string previous = HardwareMid2("earlier machine", 0x2b);
  WriteHubwright(L"m2", Wide(previous));
  CFakeMachineProbe probe;
  probe.gatherings = {{kNet, "", kCpu}, {"", kDisk, kCpu}};
  const std::string mid2 = telemetry::ComputeMid2(probe);
  EXPECT_EQ(mid2, HardwareMid2(std::string(kNet) + kDisk + kCpu, 0x2b));
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(mid2));
  EXPECT_EQ(ReadHubwright(L"m2_old"), Wide(previous));
}

// (v) without a valid cache: a part found only on the second look counts.
TEST_F(Mid2Test, LateAdapterWithoutCacheIsUsed) {
  CFakeMachineProbe probe;
  probe.gatherings = {{"", "", kCpu}, {kNet, "", kCpu}};
  EXPECT_EQ(telemetry::ComputeMid2(probe), HardwareMid2(std::string(kNet) + kCpu, 0x29));
}

// (v): hardware gone, cache hardware-based: a random identifier replaces it.
TEST_F(Mid2Test, VanishedHardwareReplacesAHardwareCacheWithARandomOne) {
  const std::string previous = HardwareMid2("earlier machine", 0x2b);
  WriteHubwright(L"m2", Wide(previous));
  CFakeMachineProbe probe;
  const std::string mid2 = telemetry::ComputeMid2(probe);
  EXPECT_EQ(mid2, WithFlagAndCheck(std::string("ffffffff") + kGuidHex, 0x10));
  EXPECT_EQ(ReadHubwright(L"m2"), Wide(mid2));
  EXPECT_EQ(ReadHubwright(L"m2_old"), Wide(previous));
}

TEST_F(Mid2Test, ObjectComputesOnceAndAnswersThroughItsInterfaces) {
  CFakeMachineProbe probe;
  probe.gatherings = {{kNet, kDisk, kCpu}};
  auto* object = new CVnkMID2(&probe);
  wchar_t buffer[64];
  EXPECT_EQ(object->GetMID2(buffer, 49), E_INVALIDARG);
  EXPECT_EQ(object->GetMID2(nullptr, 64), E_INVALIDARG);
  ASSERT_EQ(object->GetMID2(buffer, 50), S_OK);
  EXPECT_EQ(std::wstring(buffer), Wide(HardwareMid2(std::string(kNet) + kDisk + kCpu, 0x2b)));
  probe.gatherings = {{"other", "", ""}};
  wchar_t again[64];
  ASSERT_EQ(object->GetMID2(again, 64), S_OK);
  EXPECT_EQ(std::wstring(again), buffer);
  EXPECT_EQ(probe.mid2_gatherings, 1);

  INewMID* mid = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_INewMID, reinterpret_cast<void**>(&mid)), S_OK);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(mid->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  IExtend* extend = object;
  char data[4] = {};
  EXPECT_EQ(extend->ExtendSet(1, data, sizeof(data)), 0);
  EXPECT_EQ(extend->ExtendGet(1, data, sizeof(data)), 0);
  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(mid->Release(), 1u);
  EXPECT_EQ(object->Release(), 0u);
}

// The real path. Wine lists the host's interfaces under NetworkCards and
// answers their permanent-address query but has no physical drives, so this
// is usually a network-only identifier after the second look; a machine with
// nothing to read gets the random form. Either way the result is valid and
// cached, and concurrent first callers all get the same text.
TEST_F(Mid2Test, GetMID2OnThisMachine) {
  wchar_t small[49];
  EXPECT_EQ(GetMID2(small, 49), E_INVALIDARG);

  std::vector<std::wstring> results(6);
  std::vector<HRESULT> codes(6, E_FAIL);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] {
      wchar_t buffer[260] = {};
      codes[i] = GetMID2(buffer, 260);
      results[i] = buffer;
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(codes[i], S_OK);
    EXPECT_EQ(results[i], results[0]);
  }
  std::string narrow;
  ASSERT_TRUE(telemetry::IsValidMid2(results[0], &narrow)) << narrow;
  const std::string flag = narrow.substr(40, 2);
  if (narrow.compare(0, 8, "ffffffff") == 0) {
    EXPECT_EQ(flag, "10");
  } else {
    EXPECT_TRUE(flag == "21" || flag == "22" || flag == "23" || flag == "29" || flag == "2a" ||
                flag == "2b")
        << narrow;
    if (!telemetry::IsProcessElevated()) {
      EXPECT_EQ(narrow.substr(0, 8), "eeeeeeee");
    }
  }
  EXPECT_EQ(ReadHubwright(L"m2"), results[0]);

  // A new computation in this process (the object keeps its text, so ask the
  // procedure directly) reuses the stored value.
  CFakeMachineProbe next_run;
  next_run.guid.Data1 = 0x0badf00d;
  next_run.elevated = telemetry::IsProcessElevated();
  if (narrow.compare(0, 8, "ffffffff") == 0) {
    EXPECT_EQ(telemetry::ComputeMid2(next_run), narrow);
  }
}

}  // namespace
