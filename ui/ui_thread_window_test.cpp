#include "base/window/ui_thread_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/process_state.h"
#include "ui/layer/gdiplus_api.h"
#include "ui/message_box.h"
#include "ui/ui_test_support.h"

namespace {

// Records where and with what it was called, like the installer's callbacks.
class CCallbackProbe {
 public:
  void OnProgress(int percent) {
    thread = GetCurrentThreadId();
    last_percent = percent;
    ++calls;
  }
  void OnError(int code, const wchar_t* text, int* answer) {
    thread = GetCurrentThreadId();
    last_text = text;
    *answer = code + 1;
    ++calls;
  }
  // Runs inside the message box's modal loop: answers the box from there.
  void CloseShownBox() {
    thread = GetCurrentThreadId();
    box = FindThreadDialog(thread);
    if (box) PostMessageW(box, WM_COMMAND, IDYES, 0);
    ++calls;
  }

  std::atomic<DWORD> thread{0};
  std::atomic<int> calls{0};
  int last_percent = -1;
  const wchar_t* last_text = nullptr;
  HWND box = nullptr;
};

class UIThreadWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { DestroyUIThreadWindow(); }
  void TearDown() override {
    DestroyUIThreadWindow();
    SetSilent(false);
  }
};

TEST_F(UIThreadWindowTest, CreatedOnceHiddenWithAGeneratedClass) {
  ASSERT_EQ(CreateUIThreadWindow(), 1);
  HWND hwnd = UIThreadWindowHandle();
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(CreateUIThreadWindow(), 1);
  EXPECT_EQ(UIThreadWindowHandle(), hwnd);

  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetParent(hwnd), nullptr);
  EXPECT_TRUE(GetWindowLongW(hwnd, GWL_STYLE) & WS_POPUP);
  EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId());
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  EXPECT_EQ(std::wstring(name).rfind(L"ATL:", 0), 0u) << name;
}

TEST_F(UIThreadWindowTest, AnswersZeroForANullCallAndOneForACall) {
  ASSERT_EQ(CreateUIThreadWindow(), 1);
  HWND hwnd = UIThreadWindowHandle();
  EXPECT_EQ(SendMessageW(hwnd, kMsgRunBoundCall, 0, 0), 0);

  CCallbackProbe probe;
  mf_bind_t_1<CCallbackProbe, CCallbackProbe*, void, int> call(&CCallbackProbe::OnProgress, &probe,
                                                               5);
  EXPECT_EQ(SendMessageW(hwnd, kMsgRunBoundCall, reinterpret_cast<WPARAM>(&call), 0), 1);
  EXPECT_EQ(probe.last_percent, 5);
  EXPECT_FALSE(RunOnUIThread(nullptr));
}

TEST_F(UIThreadWindowTest, WorkerCallsRunOnTheUiThreadWhileTheWorkerWaits) {
  ASSERT_EQ(CreateUIThreadWindow(), 1);
  CCallbackProbe probe;
  std::atomic<bool> done{false};
  BOOL progress_ran = FALSE, error_ran = FALSE;
  int answer = 0;
  DWORD worker_id = 0;
  std::thread worker([&] {
    worker_id = GetCurrentThreadId();
    // Both live on the worker's stack, as the engine's calls do.
    mf_bind_t_1<CCallbackProbe, CCallbackProbe*, void, int> progress(&CCallbackProbe::OnProgress,
                                                                     &probe, 37);
    progress_ran = RunOnUIThread(&progress);
    mf_bind_t_3<CCallbackProbe, CCallbackProbe*, void, int, const wchar_t*, int*> error(
        &CCallbackProbe::OnError, &probe, 41, L"locked", &answer);
    error_ran = RunOnUIThread(&error);
    done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }, 10000));
  worker.join();

  EXPECT_TRUE(progress_ran);
  EXPECT_TRUE(error_ran);
  EXPECT_EQ(probe.calls.load(), 2);
  EXPECT_EQ(probe.thread.load(), GetCurrentThreadId());
  EXPECT_NE(probe.thread.load(), worker_id);
  EXPECT_EQ(probe.last_percent, 37);
  // The answer is visible to the worker as soon as the send returned.
  EXPECT_EQ(answer, 42);
}

TEST_F(UIThreadWindowTest, CallsWithoutADispatcherAreDropped) {
  CCallbackProbe probe;
  mf_bind_t_1<CCallbackProbe, CCallbackProbe*, void, int> call(&CCallbackProbe::OnProgress, &probe,
                                                               1);
  BOOL ran = TRUE;
  std::thread worker([&] { ran = RunOnUIThread(&call); });
  worker.join();
  EXPECT_FALSE(ran);
  EXPECT_EQ(probe.calls.load(), 0);

  // And again once the dispatcher is gone.
  ASSERT_EQ(CreateUIThreadWindow(), 1);
  DestroyUIThreadWindow();
  EXPECT_EQ(UIThreadWindowHandle(), nullptr);
  EXPECT_FALSE(RunOnUIThread(&call));
  EXPECT_EQ(probe.calls.load(), 0);
}

TEST_F(UIThreadWindowTest, CallSentDuringAMessageBoxIsDeliveredByItsModalLoop) {
  gdip::ScopedStartup gdiplus;
  ASSERT_TRUE(gdiplus.ok());
  ASSERT_EQ(CreateUIThreadWindow(), 1);
  const DWORD ui_thread = GetCurrentThreadId();
  CCallbackProbe probe;
  BOOL ran = FALSE;
  std::thread worker([&] {
    if (!WaitForThreadDialog(ui_thread, 10000)) return;
    mf_bind_t<CCallbackProbe, CCallbackProbe*, void> call(&CCallbackProbe::CloseShownBox, &probe);
    ran = RunOnUIThread(&call);
    // Should the call not have answered it, close the box rather than hang.
    const DWORD start = GetTickCount();
    while (FindThreadDialog(ui_thread) && GetTickCount() - start < 5000) Sleep(10);
    if (HWND box = FindThreadDialog(ui_thread)) PostMessageW(box, WM_CLOSE, 0, 0);
  });
  // Only the call can answer Yes; without it the box would stay up.
  const int result = SetupMessageBox(L"继续吗?", MB_YESNO);
  worker.join();

  EXPECT_TRUE(ran);
  EXPECT_EQ(result, IDYES);
  EXPECT_EQ(probe.thread.load(), ui_thread);
  EXPECT_NE(probe.box, nullptr);
}

}  // namespace
