#include "ui/layer/layer_progress.h"

#include <gtest/gtest.h>

#include "ui/layer/layer_test_support.h"

namespace {

class LayerProgressTest : public ::testing::Test {
 protected:
  CFakeLayerWindow window_;
  CLayerControlRootView root_{&window_, 300, 20};
  void TearDown() override { root_.RemoveAll(FALSE); }

  template <class T>
  T* AddBar(int x, int y, int w, int h) {
    auto* bar = new T(&root_, &window_, 1002, x, y, w, h);
    root_.AddChild(bar);
    return bar;
  }
};

TEST_F(LayerProgressTest, PositionZeroShowsAOnePercentSliver) {
  auto* bar = AddBar<CLayerProgress>(0, 0, 200, 10);
  bar->SetRange(100);
  bar->SetPosition(0, FALSE);
  RECT r;
  ASSERT_TRUE(bar->GetBarRect(&r));
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right, 2);
  EXPECT_EQ(r.bottom - r.top, 10);
}

TEST_F(LayerProgressTest, RangeZeroHasNoBar) {
  auto* bar = AddBar<CLayerProgress>(0, 0, 200, 10);
  bar->SetRange(0);
  bar->SetPosition(50, FALSE);
  RECT r;
  EXPECT_FALSE(bar->GetBarRect(&r));
  EXPECT_EQ(bar->Fraction(), 0.0);
}

TEST_F(LayerProgressTest, MarginsDirectionsAndOverflow) {
  auto* bar = AddBar<CLayerProgress>(10, 0, 110, 20);
  bar->SetMargins(5, 2, 5, 2);  // inner 100 x 16
  bar->SetRange(200);
  bar->SetPosition(50, FALSE);
  RECT r;
  ASSERT_TRUE(bar->GetBarRect(&r));
  EXPECT_EQ(r.left, 15);
  EXPECT_EQ(r.right, 40);
  bar->SetDirection(kGrowFromRight);
  ASSERT_TRUE(bar->GetBarRect(&r));
  EXPECT_EQ(r.right, 115);
  EXPECT_EQ(r.left, 90);
  bar->SetDirection(kGrowFromBottom);
  ASSERT_TRUE(bar->GetBarRect(&r));
  EXPECT_EQ(r.bottom, 18);
  EXPECT_EQ(r.top, 14);  // 16 * 0.25
  bar->SetDirection(kGrowFromLeft);
  bar->SetPosition(999, FALSE);  // shown as the range
  ASSERT_TRUE(bar->GetBarRect(&r));
  EXPECT_EQ(r.right, 115);
}

TEST_F(LayerProgressTest, DrawsSliverOverBackgroundAndNothingMoreAtRangeZero) {
  gdip::ScopedStartup gdiplus;
  ASSERT_TRUE(gdiplus.ok());
  auto* bar = AddBar<CLayerProgress>(0, 0, 200, 10);
  bar->SetBkColor(RGB(0, 0, 255));
  bar->SetBarColor(RGB(255, 0, 0));
  bar->SetRange(100);
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(300, 20));
  EXPECT_EQ(PixelR(canvas.Pixel(0, 5)), 254);  // the 2-pixel sliver
  EXPECT_EQ(PixelR(canvas.Pixel(1, 5)), 254);
  EXPECT_EQ(PixelR(canvas.Pixel(2, 5)), 0);
  EXPECT_EQ(PixelB(canvas.Pixel(2, 5)), 254);  // background

  bar->SetRange(0);
  ASSERT_TRUE(canvas.Compose(300, 20));
  EXPECT_EQ(PixelR(canvas.Pixel(0, 5)), 0);
  EXPECT_EQ(PixelB(canvas.Pixel(0, 5)), 254);
}

TEST_F(LayerProgressTest, SweepAdvancesRestartsAndStopsWhenFull) {
  auto* bar = AddBar<CLayerProgressSpecial>(0, 0, 200, 10);
  bar->SetRange(100);
  bar->SetSweepInterval(40);
  bar->SetPosition(10, FALSE);
  bar->StartSweep();
  ASSERT_TRUE(bar->IsSweeping());
  EXPECT_EQ(window_.timers[1002], 40u);
  EXPECT_EQ(bar->GetSweepHead(), 10u);
  bar->OnTimer(1002);
  EXPECT_EQ(bar->GetSweepHead(), 12u);  // range / 50
  int ticks = 0;
  while (bar->GetSweepHead() < 100u && ticks < 1000) {
    bar->OnTimer(1002);
    ++ticks;
  }
  EXPECT_EQ(ticks, 44);  // 12 -> 100 in steps of 2, never past the range
  bar->OnTimer(1002);    // the full sweep was shown for one tick
  EXPECT_EQ(bar->GetSweepHead(), 10u);

  bar->SetPosition(95, FALSE);  // raises the head; over 90 % the step is 1
  EXPECT_EQ(bar->GetSweepHead(), 95u);
  bar->OnTimer(1002);
  EXPECT_EQ(bar->GetSweepHead(), 96u);

  bar->SetPosition(100, FALSE);
  EXPECT_FALSE(bar->IsSweeping());
  EXPECT_EQ(window_.timers.count(1002), 0u);
}

TEST_F(LayerProgressTest, SweepDoesNotStartOnAFullBar) {
  auto* bar = AddBar<CLayerProgressSpecial>(0, 0, 200, 10);
  bar->SetRange(100);
  bar->SetPosition(100, FALSE);
  bar->StartSweep();
  EXPECT_FALSE(bar->IsSweeping());
  EXPECT_TRUE(window_.timers.empty());
}

}  // namespace
