#include "base/window/window_impl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// What a CRecordingWnd saw; kept outside it so that it survives `delete this`.
struct Log {
  std::vector<std::pair<UINT, HWND>> seen;  // message, m_hWnd when it arrived
  HWND final_hwnd = nullptr;
  HWND handle_at_final = reinterpret_cast<HWND>(1);
  bool deleted = false;
};

class CRecordingWnd : public CWindowImpl<CRecordingWnd, CWindow, CFrameWinTraits> {
 public:
  explicit CRecordingWnd(Log* log) : log_(log) {}
  ~CRecordingWnd() override { log_->deleted = true; }

  BEGIN_MSG_MAP(CRecordingWnd)
    MESSAGE_RANGE_HANDLER(0, 0xFFFF, OnAny)
  END_MSG_MAP()

  LRESULT OnAny(UINT msg, WPARAM, LPARAM, BOOL& handled) {
    log_->seen.emplace_back(msg, m_hWnd);
    handled = FALSE;
    return 0;
  }
  void OnFinalMessage(HWND hwnd) override {
    log_->final_hwnd = hwnd;
    log_->handle_at_final = m_hWnd;
    delete this;
  }

 private:
  Log* log_;
};

TEST(WindowImpl, BoundFromFirstMessageUntilOnFinalMessage) {
  Log log;
  auto* wnd = new CRecordingWnd(&log);
  HWND hwnd = wnd->Create(nullptr);
  ASSERT_NE(hwnd, nullptr) << GetLastError();
  // A top-level window with a sizing frame (the traits' style, as Create got
  // 0) is asked for its limits before WM_NCCREATE; that must find the object.
  ASSERT_GE(log.seen.size(), 2u);
  EXPECT_EQ(log.seen[0].first, static_cast<UINT>(WM_GETMINMAXINFO));
  EXPECT_EQ(log.seen[1].first, static_cast<UINT>(WM_NCCREATE));
  EXPECT_TRUE(GetWindowLongW(hwnd, GWL_STYLE) & WS_THICKFRAME);
  EXPECT_EQ(wnd->Create(nullptr), nullptr);  // one window per object

  EXPECT_TRUE(DestroyWindow(hwnd));  // the object deletes itself
  EXPECT_TRUE(log.deleted);
  EXPECT_EQ(log.seen.back().first, static_cast<UINT>(WM_NCDESTROY));
  for (const auto& s : log.seen) EXPECT_EQ(s.second, hwnd) << "message " << s.first;
  EXPECT_EQ(log.final_hwnd, hwnd);
  EXPECT_EQ(log.handle_at_final, nullptr);
}

class CSelfWnd : public CWindowImpl<CSelfWnd> {
 public:
  BEGIN_MSG_MAP(CSelfWnd)
    MESSAGE_HANDLER(WM_APP, OnApp)
  END_MSG_MAP()
  LRESULT OnApp(UINT, WPARAM, LPARAM, BOOL&) { return reinterpret_cast<LRESULT>(this); }
};

TEST(WindowImpl, ThreadsCreatingAtOnceEachGetTheirOwnObject) {
  // Registration is shared and the "being created" pointer is per thread:
  // racing threads must neither fail to register nor swap objects.
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&wrong] {
      for (int i = 0; i < 25; ++i) {
        CSelfWnd wnd;
        if (!wnd.Create(HWND_MESSAGE) || wnd.SendMessage(WM_APP) != reinterpret_cast<LRESULT>(&wnd))
          ++wrong;
        wnd.DestroyWindow();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
