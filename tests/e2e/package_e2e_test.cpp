// The real, signed package run silently: its 7-Zip library and payload are
// prepared and every trace of the staging is gone afterwards, also when the
// package is damaged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/e2e_util.h"
#include "tests/e2e/package_run.h"

namespace {

using e2e::HasAction;
using e2e::PackagePath;
using e2e::PendingRenames;
using e2e::Quote;
using e2e::StagingDirs;
using e2e::UniquePid;

std::vector<std::string> StatRequests(const std::string& pid) { return e2e::StatRequests(STAT_TEST_WWW, pid); }

// A copy of the package with `edit` applied.
struct DamagedCopy {
  e2e::TempDir dir;
  std::wstring path = dir.File(L"Install.exe");
  explicit DamagedCopy(void (*edit)(HANDLE file)) {
    CopyFileW(PackagePath().c_str(), path.c_str(), FALSE);
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    edit(f);
    CloseHandle(f);
  }
};

TEST(Package, SilentRunPreparesTheLibraryAndLeavesNoStagingBehind) {
  const std::vector<std::wstring> before = StagingDirs();
  const std::string pid = UniquePid("pkgok");
  e2e::BoxWatcher boxes(IDOK);
  const DWORD start = GetTickCount();
  e2e::RunResult r = e2e::Run(Quote(PackagePath()) + L" --hide_ui --pid=" + std::wstring(pid.begin(), pid.end()),
                              120000, [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  printf("silent run of the package: %lu ms\n", GetTickCount() - start);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_TRUE(boxes.texts().empty());
  EXPECT_EQ(StagingDirs(), before);
  // The unpacked 7-Zip library was loaded, so it waits for deletion at restart.
  EXPECT_NE(PendingRenames().find(L"\\7z.dll|"), std::wstring::npos) << PendingRenames();
  // "end" is sent synchronously, so it is there when the process has gone.
  const std::vector<std::string> requests = StatRequests(pid);
  EXPECT_TRUE(HasAction(requests, "start", "&type=install&"));
  EXPECT_TRUE(HasAction(requests, "end"));
  EXPECT_FALSE(HasAction(requests, "fail"));
}

TEST(Package, DamagedPackagesFailCleanly) {
  struct Case {
    const char* what;
    void (*edit)(HANDLE);
  } cases[] = {
      {"truncated inside the payload",
       [](HANDLE f) {
         LARGE_INTEGER size;
         GetFileSizeEx(f, &size);
         size.QuadPart /= 2;
         SetFilePointerEx(f, size, nullptr, FILE_BEGIN);
         SetEndOfFile(f);
       }},
      {"one payload byte altered",
       [](HANDLE f) {
         LARGE_INTEGER size;
         GetFileSizeEx(f, &size);
         size.QuadPart = size.QuadPart * 3 / 4;
         SetFilePointerEx(f, size, nullptr, FILE_BEGIN);
         BYTE b = 0;
         DWORD n = 0;
         ReadFile(f, &b, 1, &n, nullptr);
         b ^= 0x40;
         SetFilePointerEx(f, size, nullptr, FILE_BEGIN);
         WriteFile(f, &b, 1, &n, nullptr);
       }},
  };
  for (const Case& c : cases) {
    DamagedCopy copy(c.edit);
    const std::vector<std::wstring> before = StagingDirs();
    const std::string pid = UniquePid("pkgbad");
    e2e::RunResult r = e2e::Run(Quote(copy.path) + L" --hide_ui --pid=" + std::wstring(pid.begin(), pid.end()), 120000);
    ASSERT_TRUE(r.finished) << c.what;
    EXPECT_EQ(r.exit_code, 0u) << c.what;
    EXPECT_EQ(StagingDirs(), before) << c.what;
    // A failure that is only found by the staging worker (the digest) ends
    // the run later; a record that does not fit the file fails the package
    // step, which reports errcode 8.
    const std::vector<std::string> requests = StatRequests(pid);
    EXPECT_TRUE(HasAction(requests, "start")) << c.what;
    Sleep(200);  // "fail" is asynchronous
    if (std::string(c.what).find("truncated") != std::string::npos) {
      EXPECT_TRUE(HasAction(StatRequests(pid), "fail", "&ex_ary[errcode]=8")) << c.what;
    }
    e2e::RunResult hosted = e2e::Run(Quote(e2e::BuiltFile(L"start_host.exe")) + L" " + Quote(copy.path) +
                                         L" --hide_ui 8",
                                     120000);
    EXPECT_EQ(hosted.output, "start=0 result=fail\r\n") << c.what;
  }
}

}  // namespace
