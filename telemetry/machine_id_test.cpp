#include "telemetry/machine_id.h"

#include <gtest/gtest.h>

#include <string>

#include "telemetry/mid_digest.h"
#include "telemetry/mid_test_support.h"

namespace {

using telemetry_test::CFakeMachineProbe;
using telemetry_test::kAbsent;
using telemetry_test::ReadHubwright;
using telemetry_test::Wide;
using telemetry_test::WriteHubwright;

constexpr char kFallbackMid[] = "30908dae359c9665d70190674e7dc5a0";

class MachineIdTest : public ::testing::Test {
 protected:
  MachineIdTest() {
    probe_.mid_cpu = "GenuineIntel:0febfbff";
    probe_.mid_disk = "WD-WCAV12345678";
    probe_.mid_network = "001122AABBCC";
  }
  telemetry_test::CHubwrightGuard guard_;
  CFakeMachineProbe probe_;
};

TEST_F(MachineIdTest, DigestOfThePartsIsStoredWithItsOwnDigest) {
  const std::string mid = telemetry::ComputeMid(probe_);
  EXPECT_EQ(mid, telemetry::MidDigest("GenuineIntel:0febfbffWD-WCAV12345678001122AABBCC"));
  EXPECT_EQ(ReadHubwright(L"mid"), Wide(mid + telemetry::MidDigest(mid)));
  EXPECT_EQ(ReadHubwright(L"mid_old"), kAbsent);
}

TEST_F(MachineIdTest, ValidCacheIsUsedWithoutAskingTheHardware) {
  const std::string stored = "0123456789abcdef0123456789abcdef";
  std::string check = telemetry::MidDigest(stored);
  for (char& c : check) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  WriteHubwright(L"mid", Wide(stored + check));
  EXPECT_EQ(telemetry::ComputeMid(probe_), stored);
  EXPECT_EQ(probe_.mid_queries, 0);
  EXPECT_EQ(ReadHubwright(L"mid"), Wide(stored + check));
  EXPECT_EQ(ReadHubwright(L"mid_old"), kAbsent);
}

TEST_F(MachineIdTest, MismatchedCacheIsReplacedAndKeptAsOld) {
  const std::string expected = telemetry::MidDigest("GenuineIntel:0febfbffWD-WCAV12345678001122AABBCC");
  const std::wstring bad_values[] = {
      // Right length, second half not the digest of the first.
      L"0123456789abcdef0123456789abcdef" L"0123456789abcdef0123456789abcdef",
      // A valid pair with one character too many.
      Wide(expected + telemetry::MidDigest(expected) + "0"),
      L"short",
  };
  for (const std::wstring& bad : bad_values) {
    WriteHubwright(L"mid", bad);
    EXPECT_EQ(telemetry::ComputeMid(probe_), expected);
    EXPECT_EQ(ReadHubwright(L"mid"), Wide(expected + telemetry::MidDigest(expected)));
    EXPECT_EQ(ReadHubwright(L"mid_old"), bad);
    EXPECT_GT(probe_.mid_queries, 0);
    base::RegRemoveValue(HKEY_LOCAL_MACHINE, telemetry_test::kHubwrightKey, L"mid_old",
                         telemetry_test::kView);
  }
}

TEST_F(MachineIdTest, BareValueEqualToTheNewMidIsNotKeptAsOld) {
  const std::string expected = telemetry::MidDigest("GenuineIntel:0febfbffWD-WCAV12345678001122AABBCC");
  WriteHubwright(L"mid", Wide(expected));
  EXPECT_EQ(telemetry::ComputeMid(probe_), expected);
  EXPECT_EQ(ReadHubwright(L"mid_old"), kAbsent);
  EXPECT_EQ(ReadHubwright(L"mid"), Wide(expected + telemetry::MidDigest(expected)));
}

TEST_F(MachineIdTest, NoHardwareGivesTheFallbackAndStoresNothing) {
  CFakeMachineProbe bare;
  EXPECT_EQ(telemetry::ComputeMid(bare), kFallbackMid);
  EXPECT_EQ(ReadHubwright(L"mid"), kAbsent);

  WriteHubwright(L"mid", L"stale");
  EXPECT_EQ(telemetry::ComputeMid(bare), kFallbackMid);
  EXPECT_EQ(ReadHubwright(L"mid"), L"stale");
  EXPECT_EQ(ReadHubwright(L"mid_old"), kAbsent);
}

TEST_F(MachineIdTest, PartsAreCutAt4096Characters) {
  CFakeMachineProbe big;
  big.mid_cpu = std::string(4000, 'c');
  big.mid_disk = std::string(200, 'd');
  big.mid_network = "001122AABBCC";
  EXPECT_EQ(telemetry::ComputeMid(big), telemetry::MidDigest(std::string(4000, 'c') + std::string(96, 'd')));
}

TEST_F(MachineIdTest, GetMIDOnThisMachine) {
  EXPECT_FALSE(GetMID(nullptr, 260));
  wchar_t buffer[260] = L"x";
  EXPECT_FALSE(GetMID(buffer, 0));
  EXPECT_EQ(buffer[0], L'x');

  ASSERT_TRUE(GetMID(buffer, 260));
  const std::wstring mid = buffer;
  ASSERT_EQ(mid.size(), 32u);
  EXPECT_EQ(mid.find_first_not_of(L"0123456789abcdef"), std::wstring::npos);
  // Wine still has a processor, so the MID is hardware-based and cached.
  const std::string narrow(mid.begin(), mid.end());
  EXPECT_NE(narrow, kFallbackMid);
  EXPECT_EQ(ReadHubwright(L"mid"), Wide(narrow + telemetry::MidDigest(narrow)));

  wchar_t again[260];
  ASSERT_TRUE(GetMID(again, 260));
  EXPECT_EQ(mid, again);
  wchar_t small[10];
  ASSERT_TRUE(GetMID(small, 10));
  EXPECT_EQ(std::wstring(small), mid.substr(0, 9));
}

}  // namespace
