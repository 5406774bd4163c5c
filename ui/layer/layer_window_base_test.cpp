#include "ui/layer/layer_window_base.h"

#include <gtest/gtest.h>

#include <vector>

#include <commctrl.h>

#include "ui/layer/layer_button.h"
#include "ui/layer/layer_hosted_ctrl.h"
#include "ui/layer/layer_label.h"
#include "ui/layer/shared_font.h"
#include "ui/layer/layer_test_support.h"

namespace {

class CTestLayerWnd : public CLayerWindowBase<CTestLayerWnd> {
 public:
  BEGIN_MSG_MAP(CTestLayerWnd)
    CHAIN_MSG_MAP(CLayerWindowBase<CTestLayerWnd>)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnDeclinedPress)
  END_MSG_MAP()

  bool root_at_create = false;
  int declined_presses = 0;

 protected:
  void DrawFrameBackground(HDC dc, const RECT& client) override {
    FillLayerRect(dc, client, RGB(0, 255, 0));
  }

 private:
  LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
    root_at_create = GetRootView() != nullptr;
    return 0;
  }
  LRESULT OnDeclinedPress(UINT, WPARAM, LPARAM, BOOL&) {
    ++declined_presses;
    return 0;
  }
};

// Runs what is queued for `hwnd`, keeping WM_COMMAND messages aside.
std::vector<MSG> Pump(HWND hwnd) {
  std::vector<MSG> commands;
  MSG msg;
  while (PeekMessageW(&msg, hwnd, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_COMMAND) commands.push_back(msg);
    DispatchMessageW(&msg);
  }
  return commands;
}

class LayerWindowBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_.ok());
    RECT rc = {0, 0, 100, 50};
    ASSERT_NE(wnd_.Create(nullptr, &rc, L"layer test"), nullptr) << GetLastError();
    Pump(wnd_);
  }
  void TearDown() override {
    if (wnd_.IsWindow()) wnd_.DestroyWindow();
  }

  gdip::ScopedStartup gdiplus_;
  CTestLayerWnd wnd_;
};

TEST_F(LayerWindowBaseTest, RootViewFillsTheClientBeforeTheDerivedCreateRuns) {
  EXPECT_TRUE(wnd_.root_at_create);
  EXPECT_TRUE(GetWindowLongW(wnd_, GWL_EXSTYLE) & WS_EX_LAYERED);
  const RECT r = wnd_.GetRootView()->GetRect();
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 50);
}

TEST_F(LayerWindowBaseTest, RecomposeMessageDrawsTheFrame) {
  auto* button = new CLayerButtonCtrl(wnd_.GetRootView(), &wnd_, 1000, 10, 10, 20, 20);
  button->SetFillColors(RGB(255, 0, 0), RGB(255, 0, 0), RGB(255, 0, 0), RGB(255, 0, 0));
  wnd_.GetRootView()->AddChild(button);
  button->Invalidate(nullptr);  // posts the recomposition with a heap rectangle
  wnd_.InvalidateRect(nullptr);
  Pump(wnd_);
  CLayerFrame& frame = wnd_.GetFrame();
  ASSERT_EQ(frame.Width(), 100);
  EXPECT_EQ(PixelR(frame.Pixels()[15 * 100 + 15]), 254);
  EXPECT_EQ(PixelG(frame.Pixels()[40 * 100 + 80]), 254);  // the background hook
}

TEST_F(LayerWindowBaseTest, QueuedRecompositionsAreFoldedIntoOneFrame) {
  CLayerButtonCtrl* buttons[] = {
      new CLayerButtonCtrl(wnd_.GetRootView(), &wnd_, 1000, 5, 5, 10, 10),
      new CLayerButtonCtrl(wnd_.GetRootView(), &wnd_, 1001, 80, 30, 10, 10)};
  for (CLayerButtonCtrl* button : buttons) {
    button->SetFillColors(RGB(255, 0, 0), RGB(255, 0, 0), RGB(255, 0, 0), RGB(255, 0, 0));
    wnd_.GetRootView()->AddChild(button);
  }
  wnd_.InvalidateRect(nullptr);
  Pump(wnd_);
  const DWORD* pixels = wnd_.GetFrame().Pixels();
  ASSERT_EQ(PixelR(pixels[10 * 100 + 10]), 254);
  ASSERT_EQ(PixelR(pixels[35 * 100 + 85]), 254);

  // Each button asks for its own rectangle; the first request served draws both.
  for (CLayerButtonCtrl* button : buttons) {
    button->SetFillColors(RGB(0, 0, 255), RGB(0, 0, 255), RGB(0, 0, 255), RGB(0, 0, 255));
    button->Invalidate(nullptr);
  }
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, wnd_, kMsgLayerRecompose, kMsgLayerRecompose, PM_REMOVE));
  DispatchMessageW(&msg);
  EXPECT_FALSE(PeekMessageW(&msg, wnd_, kMsgLayerRecompose, kMsgLayerRecompose, PM_NOREMOVE));
  EXPECT_EQ(PixelB(pixels[10 * 100 + 10]), 254);
  EXPECT_EQ(PixelB(pixels[35 * 100 + 85]), 254);
  // Between them only the background, drawn again the same.
  EXPECT_EQ(PixelG(pixels[20 * 100 + 50]), 254);
}

TEST_F(LayerWindowBaseTest, PressReleasedElsewhereSendsTheCommand) {
  auto* button = new CLayerButtonCtrl(wnd_.GetRootView(), &wnd_, 1000, 10, 10, 20, 20);
  wnd_.GetRootView()->AddChild(button);
  wnd_.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(15, 15));
  wnd_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(15, 15));
  EXPECT_EQ(wnd_.declined_presses, 0);
  wnd_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(90, 45));
  const std::vector<MSG> commands = Pump(wnd_);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].wParam, 1000u);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(LayerWindowBaseTest, PressOnNoControlIsLeftToTheWindow) {
  wnd_.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 25));
  EXPECT_EQ(wnd_.declined_presses, 1);
  wnd_.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(50, 25));
}

TEST_F(LayerWindowBaseTest, TimersAreCountedPerId) {
  EXPECT_TRUE(wnd_.SetTimer(7, 1000));
  EXPECT_TRUE(wnd_.SetTimer(7, 1000));
  EXPECT_TRUE(wnd_.KillTimer(7));
  EXPECT_TRUE(wnd_.KillTimer(7));   // the last holder stops it
  EXPECT_FALSE(wnd_.KillTimer(7));  // nothing left
}

TEST_F(LayerWindowBaseTest, TooltipIsATopmostOwnedWindowWithTheRequestedText) {
  const CLayerToolTip& tip = wnd_.GetToolTipWindow();
  EXPECT_EQ(tip.GetHwnd(), nullptr);  // made on first use
  wnd_.ShowToolTip(TRUE, L"hint");
  ASSERT_NE(tip.GetHwnd(), nullptr);
  EXPECT_EQ(tip.GetText(), L"hint");
  wchar_t cls[64] = {};
  GetClassNameW(tip.GetHwnd(), cls, 64);
  EXPECT_STREQ(cls, L"tooltips_class32");
  EXPECT_EQ(GetWindow(tip.GetHwnd(), GW_OWNER), static_cast<HWND>(wnd_));
  EXPECT_TRUE(GetWindowLongW(tip.GetHwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(SendMessageW(tip.GetHwnd(), TTM_GETTOOLCOUNT, 0, 0), 1);
  wnd_.ShowToolTip(TRUE, L"other");
  EXPECT_EQ(SendMessageW(tip.GetHwnd(), TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(tip.GetText(), L"other");
  wnd_.ShowToolTip(TRUE, L"");  // an empty text hides
  EXPECT_EQ(tip.GetText(), L"");
  EXPECT_EQ(SendMessageW(tip.GetHwnd(), TTM_GETTOOLCOUNT, 0, 0), 0);
}

TEST_F(LayerWindowBaseTest, LabelMeasuresItsText) {
  auto* label = new CLayerLabelCtrl(wnd_.GetRootView(), &wnd_, 1, 0, 0, 100, 20);
  wnd_.GetRootView()->AddChild(label);
  label->SetText(L"Pelorix  ", FALSE);
  SIZE none = label->MeasureText(TRUE, TRUE);
  EXPECT_EQ(none.cx, 0);  // no font yet
  HDC dc = GetDC(wnd_);
  HGDIOBJ old = SelectObject(dc, CSharedFont::GetInstance()->GetFont());
  gdip::Font font;
  ASSERT_EQ(gdip::Gdip().CreateFontFromDC(dc, font.Receive()), gdip::kOk);
  SelectObject(dc, old);
  ReleaseDC(wnd_, dc);
  label->SetFont(font.get());
  const SIZE with_spaces = label->MeasureText(TRUE, TRUE);
  label->SetText(L"Pelorix", FALSE);
  const SIZE bare = label->MeasureText(TRUE, TRUE);
  EXPECT_GT(bare.cx, 1);
  EXPECT_GT(bare.cy, 1);
  EXPECT_GT(with_spaces.cx, bare.cx);  // trailing spaces are measured
  label->SetFont(nullptr);
}

TEST_F(LayerWindowBaseTest, HostedWindowFollowsPagesAndGroups) {
  CLayerControlRootView* root = wnd_.GetRootView();
  auto* group = new CLayerControlGroup(root, &wnd_, 1, 10, 10, 80, 30);
  root->AddChild(group);
  auto* host = new CLayerCtrl(group, &wnd_, 2, 5, 5, 40, 12);
  group->AddChild(host);
  HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 1, 1, wnd_, nullptr, nullptr,
                              nullptr);
  ASSERT_NE(edit, nullptr);
  host->SetHostedWindow(edit);
  RECT placed;
  GetWindowRect(edit, &placed);
  MapWindowPoints(nullptr, wnd_, reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 15);
  EXPECT_EQ(placed.top, 15);
  EXPECT_EQ(placed.right - placed.left, 40);

  wnd_.ShowWindow(SW_SHOWNA);
  host->SetPage(2, FALSE);
  root->SetPage(1, FALSE);  // the group is on every page; its own filter is -1
  EXPECT_TRUE(IsWindowVisible(edit));
  group->SetPage(1, FALSE);
  EXPECT_FALSE(IsWindowVisible(edit));
  group->SetPage(2, FALSE);
  EXPECT_TRUE(IsWindowVisible(edit));
  group->SetVisible(FALSE, FALSE);
  root->SetPage(1, FALSE);
  EXPECT_FALSE(IsWindowVisible(edit));
}

}  // namespace

namespace {

TEST_F(LayerWindowBaseTest, ResizeReachesTheRootAndDestroyReleasesTheTree) {
  struct CTracked : CLayerControlBase {
    CTracked(ILayerWindow* owner, bool* gone) : CLayerControlBase(nullptr, owner, 9, 0, 0, 1, 1),
                                                gone_(gone) {}
    ~CTracked() override { *gone_ = true; }
    bool* gone_;
  };
  bool gone = false;
  wnd_.GetRootView()->AddChild(new CTracked(&wnd_, &gone));
  wnd_.SetWindowPos(nullptr, 0, 0, 120, 70, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT r = wnd_.GetRootView()->GetRect();
  EXPECT_EQ(r.right, 120);
  EXPECT_EQ(r.bottom, 70);
  wnd_.InvalidateRect(nullptr);  // left queued: destruction must free it
  wnd_.DestroyWindow();
  EXPECT_TRUE(gone);
  EXPECT_EQ(wnd_.GetRootView(), nullptr);
}

}  // namespace
