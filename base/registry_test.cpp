#include "base/registry.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\PelorixTest\\Registry";

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(base::RegRemoveTree(HKEY_CURRENT_USER, kKey)); }
  void TearDown() override { base::RegRemoveTree(HKEY_CURRENT_USER, kKey); }
};

TEST_F(RegistryTest, StringsRoundTripAndUnterminatedValuesRead) {
  ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, kKey, L"plain", L"abc"));
  ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, kKey, L"term", L"abc", true));
  std::wstring value;
  EXPECT_TRUE(base::RegReadString(HKEY_CURRENT_USER, kKey, L"plain", &value));
  EXPECT_EQ(value, L"abc");
  EXPECT_TRUE(base::RegReadString(HKEY_CURRENT_USER, kKey, L"term", &value));
  EXPECT_EQ(value, L"abc");
  // Another program may store a string without its terminator; reading it must
  // not run past the stored bytes.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const wchar_t raw[] = L"xyzQ";
  ASSERT_EQ(RegSetValueExW(key, L"raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), 6), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(base::RegReadString(HKEY_CURRENT_USER, kKey, L"raw", &value));
  EXPECT_EQ(value, L"xyz");
}

TEST_F(RegistryTest, MissingWrongTypeAndOversizeAreFailures) {
  std::wstring value = L"left over";
  EXPECT_FALSE(base::RegReadString(HKEY_CURRENT_USER, kKey, L"nothing", &value));
  EXPECT_TRUE(value.empty());
  ASSERT_TRUE(base::RegWriteDword(HKEY_CURRENT_USER, kKey, L"dw", 42));
  EXPECT_FALSE(base::RegReadString(HKEY_CURRENT_USER, kKey, L"dw", &value));
  DWORD dw = 0;
  EXPECT_TRUE(base::RegReadDword(HKEY_CURRENT_USER, kKey, L"dw", &dw));
  EXPECT_EQ(dw, 42u);
  ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, kKey, L"long", std::wstring(200, L'x')));
  EXPECT_FALSE(base::RegReadString(HKEY_CURRENT_USER, kKey, L"long", &value, 260));
  EXPECT_TRUE(base::RegReadString(HKEY_CURRENT_USER, kKey, L"long", &value, 402));
}

TEST_F(RegistryTest, RemoveValueAndTree) {
  ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, std::wstring(kKey).append(L"\\Sub").c_str(),
                                   L"v", L"x"));
  EXPECT_TRUE(base::RegRemoveValue(HKEY_CURRENT_USER, kKey, L"absent"));
  EXPECT_TRUE(base::RegRemoveTree(HKEY_CURRENT_USER, kKey));
  std::wstring value;
  EXPECT_FALSE(base::RegReadString(HKEY_CURRENT_USER, std::wstring(kKey).append(L"\\Sub").c_str(),
                                   L"v", &value));
}

}  // namespace
