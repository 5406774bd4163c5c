// Runs in a prefix that reports Windows XP (5.1): the setup must end at once,
// silently, without touching the single-instance mutex.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_util.h"

namespace {

using e2e::BuiltFile;
using e2e::Quote;

LONG g_requests = 0;

LRESULT CALLBACK CountingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == 0x1400) ++g_requests;
  return DefWindowProcW(h, m, w, l);
}

TEST(VersionGate, PrefixReportsWindowsXp) {
  OSVERSIONINFOW info = {sizeof(info)};
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(&info);
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
}

TEST(VersionGate, SetupEndsWithoutMutexBoxOrResult) {
  // A running setup stand-in: a second copy that got as far as the mutex
  // would show a box and post 0x1400 here.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"PelorixSetupSingleMutex");
  ASSERT_NE(mutex, nullptr);
  WNDCLASSW wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"PelorixSetupMainWndClassName";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);

  e2e::BoxWatcher boxes(IDOK);
  e2e::RunResult r = e2e::Run(Quote(BuiltFile(L"Install.exe")), 60000, [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_TRUE(boxes.texts().empty());

  e2e::RunResult hosted = e2e::Run(Quote(BuiltFile(L"start_host.exe")) + L" " + Quote(BuiltFile(L"Install.exe")) + L" -null 8", 60000);
  ASSERT_TRUE(hosted.finished);
  EXPECT_EQ(hosted.output, "start=0 result=fail\r\n");

  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(g_requests, 0);
  DestroyWindow(hwnd);
  CloseHandle(mutex);
}

}  // namespace
