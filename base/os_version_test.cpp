// Run once in each kind of prefix; the expected answers come from the command
// line ("--expect-arch=32|64 --expect-major=N --expect-minor=N").
#include "base/os_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cstdlib>

namespace {

int g_expect_arch = 0;
long g_expect_major = -1;
long g_expect_minor = -1;

TEST(OsVersion, ReportsThePrefixsVersion) {
  base::NtVersion v;
  ASSERT_TRUE(base::QueryNtVersion(&v));
  EXPECT_EQ(static_cast<long>(v.major), g_expect_major);
  EXPECT_EQ(static_cast<long>(v.minor), g_expect_minor);
  EXPECT_LE(v.build, 0xFFFFu);
  EXPECT_EQ(base::CurrentNtVersion().major, v.major);
  EXPECT_EQ(base::IsWindows10OrLater(v), g_expect_major >= 10);
}

TEST(OsVersion, TellsA64BitSystem) {
  EXPECT_EQ(base::Is64BitSystem(), g_expect_arch == 64);
  // Only a 32-bit process on 64-bit Windows runs under WOW64.
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  EXPECT_EQ(wow64 != FALSE, g_expect_arch == 64 && sizeof(void*) == 4);
}

// A 64-bit build runs only in a 64-bit prefix: the answers of a 32-bit one
// (and 32-bit XP's version 5.1) are the i686 build's to check.
class NeedsThePrefixsWidth : public testing::Environment {
 public:
  void SetUp() override {
    if (g_expect_arch == 32 && sizeof(void*) == 8) {
      GTEST_SKIP() << "needs 32-bit execution: a 64-bit build cannot run in a 32-bit prefix";
    }
  }
};

TEST(OsVersion, Windows10RuleCoversTheEarlyNumbering) {
  EXPECT_TRUE(base::IsWindows10OrLater({10, 0, 19045}));
  EXPECT_TRUE(base::IsWindows10OrLater({6, 4, 9841}));
  EXPECT_FALSE(base::IsWindows10OrLater({6, 3, 9600}));
  EXPECT_FALSE(base::IsWindows10OrLater({6, 1, 7601}));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (!std::strncmp(argv[i], "--expect-arch=", 14)) g_expect_arch = std::atoi(argv[i] + 14);
    if (!std::strncmp(argv[i], "--expect-major=", 15)) g_expect_major = std::atol(argv[i] + 15);
    if (!std::strncmp(argv[i], "--expect-minor=", 15)) g_expect_minor = std::atol(argv[i] + 15);
  }
  testing::AddGlobalTestEnvironment(new NeedsThePrefixsWidth);
  return RUN_ALL_TESTS();
}
