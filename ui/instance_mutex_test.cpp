#include "ui/instance_mutex.h"

#include <gtest/gtest.h>

namespace {

bool MutexExists(const wchar_t* name) {
  HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, name);
  if (!h) return false;
  CloseHandle(h);
  return true;
}

// A window of the setup's class that counts activation requests.
struct FakeSetupWindow {
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == kMsgActivateRunningSetup) ++requests;
    return DefWindowProcW(hwnd, msg, w, l);
  }
  FakeSetupWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kSetupWindowClass;
    RegisterClassW(&wc);
    hwnd = CreateWindowExW(0, kSetupWindowClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                           wc.hInstance, nullptr);
  }
  ~FakeSetupWindow() { DestroyWindow(hwnd); }
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  HWND hwnd;
  static inline int requests = 0;
};

TEST(InstanceMutex, SecondAcquireFailsAndActivatesTheRunningWindow) {
  FakeSetupWindow window;
  ASSERT_NE(window.hwnd, nullptr);
  FakeSetupWindow::requests = 0;
  CInstanceMutex first;
  ASSERT_TRUE(first.AcquireSetupMutex());
  CInstanceMutex second;
  EXPECT_FALSE(second.AcquireSetupMutex());
  window.Pump();
  EXPECT_EQ(FakeSetupWindow::requests, 1);
  // Releasing twice is harmless; afterwards the name is free again.
  first.ReleaseAll();
  first.ReleaseAll();
  EXPECT_FALSE(MutexExists(kSetupMutexName));
  EXPECT_TRUE(second.AcquireSetupMutex());
}

TEST(InstanceMutex, DestructorReleasesEveryHandle) {
  {
    CInstanceMutex m;
    ASSERT_TRUE(m.CreateNamed(L"PelorixTestMutexA"));
    ASSERT_TRUE(m.CreateNamed(L"PelorixTestMutexB"));
    EXPECT_TRUE(MutexExists(L"PelorixTestMutexA"));
  }
  EXPECT_FALSE(MutexExists(L"PelorixTestMutexA"));
  EXPECT_FALSE(MutexExists(L"PelorixTestMutexB"));
}

TEST(InstanceMutex, CreateNamedOrFindWindowReportsTheOwnersWindow) {
  FakeSetupWindow window;
  CInstanceMutex owner, other;
  HWND found = reinterpret_cast<HWND>(1);
  EXPECT_TRUE(owner.CreateNamedOrFindWindow(L"PelorixTestMutexC", kSetupWindowClass, &found));
  EXPECT_EQ(found, nullptr);
  EXPECT_FALSE(other.CreateNamedOrFindWindow(L"PelorixTestMutexC", kSetupWindowClass, &found));
  EXPECT_EQ(found, window.hwnd);
}

}  // namespace
