// Runs in a prefix that reports Windows XP (5.1): the setup must end at once,
// silently, without touching the single-instance mutex.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_util.h"

namespace {

using e2e::BuiltFile;
using e2e::Quote;

// A 64-bit build runs only in a 64-bit prefix, whose XP is XP x64: 5.2.
constexpr char kNeeds32BitXp[] =
    "needs 32-bit execution: only 32-bit Windows XP reports version 5.1, the version the setup ends at";

TEST(VersionGate, PrefixReportsWindowsXp) {
  if (sizeof(void*) == 8) GTEST_SKIP() << kNeeds32BitXp;
  OSVERSIONINFOW info = {sizeof(info)};
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&info);
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
}

TEST(VersionGate, SetupEndsWithoutMutexBoxOrResult) {
  if (sizeof(void*) == 8) GTEST_SKIP() << kNeeds32BitXp;
  // A running setup stand-in: a second copy that got as far as the mutex
  // would show a box and post 0x1400 here.
  e2e::RunningSetupStandIn running;
  ASSERT_TRUE(running.ok());

  e2e::BoxWatcher boxes(IDOK);
  e2e::RunResult r = e2e::Run(Quote(BuiltFile(L"Install.exe")), 60000, [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_TRUE(boxes.texts().empty());

  e2e::RunResult hosted = e2e::Run(Quote(BuiltFile(L"start_host.exe")) + L" " + Quote(BuiltFile(L"Install.exe")) + L" -null 8", 60000);
  ASSERT_TRUE(hosted.finished);
  EXPECT_EQ(hosted.output, "start=0 result=fail\r\n");

  EXPECT_EQ(running.Requests(), 0);
}

}  // namespace
