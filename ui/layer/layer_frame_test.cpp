#include "ui/layer/layer_frame.h"

#include <gtest/gtest.h>

#include "ui/layer/layer_button.h"
#include "ui/layer/layer_test_support.h"
#include "ui/layer/layer_label.h"
#include "ui/layer/memory_dc.h"
#include "ui/layer/shared_font.h"

namespace {

class LayerFrameTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(gdiplus_.ok()); }
  void TearDown() override { root_.RemoveAll(FALSE); }

  CLayerButtonCtrl* AddFilled(CLayerControlGroup* parent, int x, int y, int w, int h, COLORREF c) {
    auto* button = new CLayerButtonCtrl(parent, &window_, 1, x, y, w, h);
    button->SetFillColors(c, c, c, c);
    parent->AddChild(button);
    return button;
  }

  gdip::ScopedStartup gdiplus_;
  CFakeLayerWindow window_;
  CLayerControlRootView root_{&window_, 40, 30};
};

TEST_F(LayerFrameTest, BackgroundIsPremultipliedAtAlpha254) {
  CTestCanvas canvas(&root_, RGB(0, 255, 0));
  ASSERT_TRUE(canvas.Compose(40, 30));
  const DWORD p = canvas.Pixel(20, 15);
  EXPECT_EQ(PixelA(p), 254);
  EXPECT_EQ(PixelG(p), 254);  // 255 * 254 / 255
  EXPECT_EQ(PixelR(p), 0);
  EXPECT_EQ(PixelB(p), 0);
  EXPECT_EQ(canvas.before, 1);
  EXPECT_EQ(canvas.controls, 1);
  EXPECT_EQ(canvas.after, 1);
}

TEST_F(LayerFrameTest, HalfTransparentFillBlendsOverTheBackground) {
  // Source-over of two alpha-254 layers: 254 + 254 * (1 - 254/255) rounds to
  // 255, and almost nothing of the background's colour is left.
  AddFilled(&root_, 0, 0, 10, 10, RGB(255, 0, 0));
  CTestCanvas canvas(&root_, RGB(0, 0, 255));
  ASSERT_TRUE(canvas.Compose(40, 30));
  const DWORD p = canvas.Pixel(5, 5);
  EXPECT_GE(PixelA(p), 254);
  EXPECT_GE(PixelR(p), 253);
  EXPECT_LE(PixelB(p), 1);
  EXPECT_EQ(PixelB(canvas.Pixel(20, 5)), 254);
}

TEST_F(LayerFrameTest, NestedGroupsOffsetTheirChildren) {
  auto* group = new CLayerControlGroup(&root_, &window_, 2, 10, 10, 20, 15);
  root_.AddChild(group);
  AddFilled(group, 5, 5, 4, 4, RGB(255, 0, 0));  // window 15,15 - 19,19
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(40, 30));
  EXPECT_EQ(PixelR(canvas.Pixel(16, 16)), 254);
  EXPECT_EQ(PixelA(canvas.Pixel(6, 6)), 0);
  EXPECT_EQ(PixelA(canvas.Pixel(20, 20)), 0);
}

TEST_F(LayerFrameTest, HiddenGroupIsNotDrawn) {
  auto* group = new CLayerControlGroup(&root_, &window_, 2, 0, 0, 20, 20);
  root_.AddChild(group);
  group->SetBkColor(RGB(0, 0, 255));
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(40, 30));
  EXPECT_EQ(PixelB(canvas.Pixel(5, 5)), 254);
  group->SetVisible(FALSE, FALSE);
  ASSERT_TRUE(canvas.Compose(40, 30));
  EXPECT_EQ(PixelA(canvas.Pixel(5, 5)), 0);
}

TEST_F(LayerFrameTest, ClippedCompositionLeavesTheRestOfTheFrame) {
  CLayerButtonCtrl* button = AddFilled(&root_, 0, 0, 40, 30, RGB(255, 0, 0));
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(40, 30));
  button->SetFillColors(RGB(0, 0, 255), kNoColor, kNoColor, kNoColor);
  const RECT clip = {0, 0, 10, 10};
  ASSERT_TRUE(canvas.Compose(40, 30, &clip));
  EXPECT_EQ(PixelB(canvas.Pixel(5, 5)), 254);
  EXPECT_EQ(PixelR(canvas.Pixel(20, 20)), 254);  // outside the clip: the old frame
}

TEST_F(LayerFrameTest, ResizingRebuildsTheBackground) {
  CTestCanvas canvas(&root_, RGB(0, 255, 0));
  ASSERT_TRUE(canvas.Compose(40, 30));
  ASSERT_TRUE(canvas.Compose(60, 50));
  EXPECT_EQ(canvas.Frame().Width(), 60);
  EXPECT_EQ(PixelG(canvas.Pixel(55, 45)), 254);
  EXPECT_FALSE(canvas.Compose(0, 10));
}

TEST(MemoryDCEx, CopiesBackToTheTargetOnDestruction) {
  HDC screen = GetDC(nullptr);
  HDC target = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 8, 8);
  HGDIOBJ old = SelectObject(target, bitmap);
  {
    CMemoryDCEx mem(target, 8, 8);
    ASSERT_TRUE(mem.IsValid());
    RECT all = {0, 0, 8, 8};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(mem, &all, red);
    DeleteObject(red);
    EXPECT_NE(GetPixel(target, 3, 3) & 0xFFFFFF, RGB(255, 0, 0) & 0xFFFFFF);
  }
  EXPECT_EQ(GetPixel(target, 3, 3) & 0xFFFFFF, static_cast<COLORREF>(RGB(255, 0, 0)));
  SelectObject(target, old);
  DeleteObject(bitmap);
  DeleteDC(target);
  ReleaseDC(nullptr, screen);
}

}  // namespace

namespace {

class LayerTextTest : public LayerFrameTest {
 protected:
  void SetUp() override {
    LayerFrameTest::SetUp();
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, CSharedFont::GetInstance()->GetFont());
    ASSERT_EQ(gdip::Gdip().CreateFontFromDC(dc, font_.Receive()), gdip::kOk);
    SelectObject(dc, old);
    DeleteDC(dc);
  }
  void TearDown() override {
    root_.RemoveAll(FALSE);
    font_.Reset();
  }
  // Pixels with any coverage inside `r`.
  static int Inked(CTestCanvas& canvas, const RECT& r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += PixelA(canvas.Pixel(x, y)) != 0;
    return n;
  }
  gdip::Font font_;
};

TEST_F(LayerTextTest, LabelTextStaysInsideItsInsets) {
  auto* label = new CLayerLabelCtrl(&root_, &window_, 1, 10, 5, 25, 20);
  label->SetFont(font_.get());
  label->SetText(L"WWWWWWWW", FALSE);
  label->SetTextColor(RGB(255, 255, 255), FALSE);
  label->SetTextFormat(kTextNoWrap);
  root_.AddChild(label);
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(40, 30));
  EXPECT_GT(Inked(canvas, RECT{10, 5, 35, 25}), 0);
  EXPECT_EQ(Inked(canvas, RECT{0, 0, 10, 30}), 0);   // clipped to the layout box
  EXPECT_EQ(Inked(canvas, RECT{36, 0, 40, 30}), 0);
}

TEST_F(LayerTextTest, OutlineWidensTheInk) {
  auto* label = new CLayerLabelCtrl(&root_, &window_, 1, 5, 5, 30, 20);
  label->SetFont(font_.get());
  label->SetText(L"Ab", FALSE);
  label->SetTextColor(RGB(255, 255, 255), FALSE);
  root_.AddChild(label);
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(40, 30));
  const int plain = Inked(canvas, RECT{0, 0, 40, 30});
  label->SetOutlineColor(RGB(0, 0, 0));
  ASSERT_TRUE(canvas.Compose(40, 30));
  EXPECT_GT(Inked(canvas, RECT{0, 0, 40, 30}), plain);
  EXPECT_GT(plain, 0);
}

TEST_F(LayerTextTest, FocusFlagFramesEveryDrawnChild) {
  AddFilled(&root_, 10, 10, 10, 10, kNoColor);
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(40, 30));
  EXPECT_EQ(PixelA(canvas.Pixel(10, 10)), 0);
  window_.focus = TRUE;
  ASSERT_TRUE(canvas.Compose(40, 30));
  EXPECT_GT(PixelA(canvas.Pixel(10, 10)), 0);
  EXPECT_GT(PixelA(canvas.Pixel(19, 19)), 0);
  EXPECT_EQ(PixelA(canvas.Pixel(15, 15)), 0);
}

}  // namespace
