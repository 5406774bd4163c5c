#include "ui/message_box.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "engine/process_state.h"
#include "ui/layer/gdiplus_api.h"
#include "ui/res_initializer.h"
#include "ui/ui_test_support.h"

namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_.ok());
    ResInitializer::GetInstance()->Init(GetModuleHandleW(nullptr));
    SetSilent(false);
  }
  void TearDown() override {
    ResInitializer::GetInstance()->Term();
    SetSilent(false);
  }

  // Shows a box of `type` while another thread acts on it once it is up.
  // Should the actions not end the box, it is closed after a while and
  // `rescued_` tells the test so.
  int ShowAndDrive(UINT type, const std::function<void(HWND)>& act) {
    const DWORD ui_thread = GetCurrentThreadId();
    rescued_ = false;
    std::thread driver([&] {
      HWND box = WaitForThreadDialog(ui_thread, 10000);
      if (!box) return;
      act(box);
      const DWORD start = GetTickCount();
      while (IsWindow(box) && GetTickCount() - start < 3000) Sleep(10);
      if (IsWindow(box)) {
        rescued_ = true;
        PostMessageW(box, WM_COMMAND, kMessageBoxCloseId, 0);
      }
    });
    const int result = SetupMessageBox(L"安装出错,请重新下载安装程序进行安装", type);
    driver.join();
    return result;
  }

  static void Command(HWND box, UINT id) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  gdip::ScopedStartup gdiplus_;
  std::atomic<bool> rescued_{false};
};

struct ButtonCase {
  UINT type;
  UINT command;
  int expected;
};

TEST_F(MessageBoxTest, EachButtonEndsTheBoxWithItsResult) {
  const ButtonCase cases[] = {
      {MB_OK, IDOK, IDOK},         {MB_OKCANCEL, IDOK, IDOK}, {MB_OKCANCEL, IDCANCEL, IDCANCEL},
      {MB_YESNO, IDYES, IDYES},    {MB_YESNO, IDNO, IDNO},    {MB_OK, kMessageBoxCloseId, 8},
      {MB_YESNO, kMessageBoxCloseId, 8},
  };
  for (const ButtonCase& c : cases) {
    const int result = ShowAndDrive(c.type, [&](HWND box) { Command(box, c.command); });
    EXPECT_EQ(result, c.expected) << "type " << c.type << " command " << c.command;
    EXPECT_FALSE(rescued_) << "type " << c.type << " command " << c.command;
  }
}

TEST_F(MessageBoxTest, OtherCommandsAreIgnoredButEnterAndEscDismiss) {
  // Yes means nothing to an OK box; OK then ends it.
  EXPECT_EQ(ShowAndDrive(MB_OK, [](HWND box) {
              Command(box, IDYES);
              Command(box, IDNO);
              Command(box, IDOK);
            }),
            IDOK);
  EXPECT_FALSE(rescued_);
  EXPECT_EQ(ShowAndDrive(MB_OKCANCEL, [](HWND box) {
              Command(box, IDYES);
              Command(box, IDCANCEL);
            }),
            IDCANCEL);
  EXPECT_FALSE(rescued_);

  // Enter or Esc on a Yes/No box: closed, neither Yes nor No.
  EXPECT_EQ(ShowAndDrive(MB_YESNO, [](HWND box) { Command(box, IDOK); }), 8);
  EXPECT_FALSE(rescued_);
  EXPECT_EQ(ShowAndDrive(MB_YESNO, [](HWND box) { Command(box, IDCANCEL); }), 8);
  EXPECT_FALSE(rescued_);
  EXPECT_EQ(ShowAndDrive(MB_OK, [](HWND box) { Command(box, IDCANCEL); }), 8);
  EXPECT_FALSE(rescued_);
}

TEST_F(MessageBoxTest, TextIsReadableFromTheSystemBoxTextControl) {
  wchar_t text[256] = {};
  BOOL visible = TRUE;
  ShowAndDrive(MB_OK, [&](HWND box) {
    GetDlgItemTextW(box, 0xFFFF, text, 256);
    visible = IsWindowVisible(GetDlgItem(box, 0xFFFF));
    Command(box, IDOK);
  });
  EXPECT_STREQ(text, L"安装出错,请重新下载安装程序进行安装");
  EXPECT_FALSE(visible);
}

TEST_F(MessageBoxTest, WmCloseGivesEight) {
  EXPECT_EQ(ShowAndDrive(MB_YESNO, [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); }), 8);
  EXPECT_FALSE(rescued_);
  EXPECT_EQ(ShowAndDrive(MB_OK, [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); }), 8);
  EXPECT_FALSE(rescued_);
}

TEST_F(MessageBoxTest, SilentModeAnswersMinusOneWithoutAWindow) {
  SetSilent(true);
  std::atomic<bool> stop{false};
  std::atomic<bool> seen{false};
  const DWORD ui_thread = GetCurrentThreadId();
  std::thread watcher([&] {
    while (!stop) {
      if (FindThreadDialog(ui_thread)) seen = true;
      Sleep(1);
    }
  });
  const DWORD start = GetTickCount();
  EXPECT_EQ(SetupMessageBox(L"x", MB_YESNO), -1);
  EXPECT_EQ(SetupMessageBox(nullptr, MB_OK), -1);
  EXPECT_LT(GetTickCount() - start, 500u);
  Sleep(20);
  stop = true;
  watcher.join();
  EXPECT_FALSE(seen);
}

TEST_F(MessageBoxTest, ClickingAButtonDrawnAtItsPlaceAnswersWithIt) {
  // Press and release over the right-hand button of a Yes/No box: "否".
  const LPARAM at = MAKELPARAM(310 + 45, 132 + 14);
  EXPECT_EQ(ShowAndDrive(MB_YESNO, [&](HWND box) {
              PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, at);
              PostMessageW(box, WM_LBUTTONUP, 0, at);
            }),
            IDNO);
  EXPECT_FALSE(rescued_);
  // The left-hand one: "是".
  const LPARAM left = MAKELPARAM(204 + 10, 132 + 5);
  EXPECT_EQ(ShowAndDrive(MB_YESNO, [&](HWND box) {
              PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, left);
              PostMessageW(box, WM_LBUTTONUP, 0, left);
            }),
            IDYES);
  // The close button in the top-right corner.
  const LPARAM corner = MAKELPARAM(419, 1);
  EXPECT_EQ(ShowAndDrive(MB_OKCANCEL, [&](HWND box) {
              PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, corner);
              PostMessageW(box, WM_LBUTTONUP, 0, corner);
            }),
            8);
  EXPECT_FALSE(rescued_);
}

TEST_F(MessageBoxTest, IsA420By180ToolWindowDraggedByItsBackground) {
  RECT rc = {};
  LONG_PTR exstyle = 0;
  LRESULT on_text = 0, on_background = 0, on_button = 0, on_close = 0, beside_button = 0;
  ShowAndDrive(MB_OK, [&](HWND box) {
    GetWindowRect(box, &rc);
    exstyle = GetWindowLongPtrW(box, GWL_EXSTYLE);
    auto hit = [&](int x, int y) {
      return SendMessageW(box, WM_NCHITTEST, 0, MAKELPARAM(rc.left + x, rc.top + y));
    };
    on_text = hit(120, 75);
    on_background = hit(20, 20);
    on_button = hit(165 + 45, 132 + 14);
    beside_button = hit(160, 140);
    on_close = hit(400, 10);
    Command(box, IDOK);
  });
  EXPECT_EQ(rc.right - rc.left, kMessageBoxWidth);
  EXPECT_EQ(rc.bottom - rc.top, kMessageBoxHeight);
  EXPECT_TRUE(exstyle & WS_EX_TOOLWINDOW);
  EXPECT_EQ(on_text, HTCAPTION);
  EXPECT_EQ(on_background, HTCAPTION);
  EXPECT_EQ(beside_button, HTCAPTION);
  EXPECT_EQ(on_button, HTCLIENT);
  EXPECT_EQ(on_close, HTCLIENT);
}

TEST_F(MessageBoxTest, CentredOverAVisibleOwner) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 100, 690, 446,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  SetActiveWindow(owner);
  RECT rc = {};
  const DWORD ui_thread = GetCurrentThreadId();
  std::thread driver([&] {
    if (HWND box = WaitForThreadDialog(ui_thread, 10000)) {
      GetWindowRect(box, &rc);
      PostMessageW(box, WM_CLOSE, 0, 0);
    }
  });
  CMessageBox box(L"", MB_OK);
  EXPECT_EQ(box.Show(owner), 8);
  driver.join();
  DestroyWindow(owner);
  EXPECT_EQ(rc.left, 100 + (690 - 420) / 2);
  EXPECT_EQ(rc.top, 100 + (446 - 180) / 2);
}

}  // namespace
