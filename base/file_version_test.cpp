#include "base/file_version.h"

#include <gtest/gtest.h>

namespace {

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

// This program carries two translations, the first with an empty string.
TEST(FileVersionInfo, FirstTranslationOrFirstNonEmptyOne) {
  base::FileVersionInfo info;
  ASSERT_TRUE(info.Load(OwnPath()));
  EXPECT_EQ(info.FixedVersion(), L"1.2.3.4");
  EXPECT_EQ(info.FileVersionString(), L"");
  EXPECT_EQ(info.FileVersionString(true), L"2, 3, 4, 5");

  base::FileVersionInfo none;
  EXPECT_FALSE(none.Load(L"C:\\no\\such\\file.exe"));
  EXPECT_EQ(none.FileVersionString(true), L"");
}

}  // namespace
