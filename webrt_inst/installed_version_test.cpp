// Runs in a fresh 64-bit prefix: the machine key is read in the 32-bit view
// and the user key in the 64-bit view, which only a WOW64 prefix keeps apart.
#include "webrt_inst/installed_version.h"

#include <gtest/gtest.h>

#include "base/registry.h"

namespace {

void SetMachinePv(const std::wstring& value, REGSAM view = KEY_WOW64_32KEY) {
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kRuntimeClientKey, L"pv", value, true, view));
}
void SetUserPv(const std::wstring& value, REGSAM view = KEY_WOW64_64KEY) {
  ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, kRuntimeClientKey, L"pv", value, true, view));
}

TEST(GetInstalledVersion, NothingRegistered) { EXPECT_EQ(L"", GetInstalledVersion()); }

TEST(GetInstalledVersion, MachineValueWins) {
  SetMachinePv(L"120.0.1.2");
  SetUserPv(L"99.0.0.1");
  EXPECT_EQ(L"120.0.1.2", GetInstalledVersion());
}

TEST(GetInstalledVersion, ZeroVersionUnderMachineFallsThroughToUser) {
  SetMachinePv(L"0.0.0.0");
  SetUserPv(L"121.0.2277.128");
  EXPECT_EQ(L"121.0.2277.128", GetInstalledVersion());
}

TEST(GetInstalledVersion, ZeroVersionUnderUserIsNoRuntime) {
  SetMachinePv(L"0.0.0.0");
  SetUserPv(L"0.0.0.0");
  EXPECT_EQ(L"", GetInstalledVersion());
}

TEST(GetInstalledVersion, EmptyMachineValueFallsThrough) {
  SetMachinePv(L"");
  SetUserPv(L"1.2.3.4");
  EXPECT_EQ(L"1.2.3.4", GetInstalledVersion());
}

TEST(GetInstalledVersion, MachineValueInThe64BitViewDoesNotCount) {
  SetMachinePv(L"120.0.1.2", KEY_WOW64_64KEY);
  EXPECT_EQ(L"", GetInstalledVersion());
}

TEST(GetInstalledVersion, NonStringValueDoesNotCount) {
  ASSERT_TRUE(base::RegWriteDword(HKEY_LOCAL_MACHINE, kRuntimeClientKey, L"pv", 7, KEY_WOW64_32KEY));
  EXPECT_EQ(L"", GetInstalledVersion());
}

}  // namespace
