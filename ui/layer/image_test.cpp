#include "ui/layer/image.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/layer/layer_button.h"
#include "ui/layer/layer_label.h"
#include "ui/layer/layer_test_support.h"

namespace {

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(gdiplus_.ok()); }
  void TearDown() override { root_.RemoveAll(FALSE); }

  // An image control over the top-left 2 x 2 pixels showing `image` in `layout`.
  DWORD DrawnPixel(const CImage& image, const LayerImageLayout& layout, int w = 2, int h = 2) {
    root_.RemoveAll(FALSE);
    auto* ctrl = new CLayerImageCtrl(&root_, &window_, 1, 0, 0, w, h);
    ctrl->SetImage(&image, FALSE);
    ctrl->SetLayout(layout);
    root_.AddChild(ctrl);
    CTestCanvas canvas(&root_, kNoColor);
    EXPECT_TRUE(canvas.Compose(8, 8));
    return canvas.Pixel(0, 0);
  }

  gdip::ScopedStartup gdiplus_;
  CFakeLayerWindow window_;
  CLayerControlRootView root_{&window_, 8, 8};
};

TEST_F(ImageTest, LoadsAPngResourceAsAStrip) {
  CImage image;
  ASSERT_TRUE(image.LoadFromResource(GetModuleHandleW(nullptr), L"PNG", 1, 4));
  EXPECT_EQ(image.Width(), 8);
  EXPECT_EQ(image.Height(), 2);
  EXPECT_EQ(image.FrameCount(), 4);
  EXPECT_EQ(image.FrameWidth(), 2);
  EXPECT_FALSE(image.LoadFromResource(GetModuleHandleW(nullptr), L"PNG", 99, 1));
  EXPECT_TRUE(image.IsLoaded());  // a failed load keeps what was there
}

TEST_F(ImageTest, FramesAreTakenSideBySide) {
  CImage image;
  ASSERT_TRUE(image.LoadFromResource(GetModuleHandleW(nullptr), L"PNG", 1, 4));
  LayerImageLayout strip;
  strip.mode = kImageStripFrame;
  strip.frame = 2;
  DWORD p = DrawnPixel(image, strip);
  EXPECT_EQ(PixelB(p), 255);
  EXPECT_EQ(PixelR(p), 0);
  EXPECT_EQ(PixelA(p), 255);
  strip.frame = 1;
  EXPECT_EQ(PixelG(DrawnPixel(image, strip)), 255);
  strip.frame = 9;  // past the last frame: frame 0
  EXPECT_EQ(PixelR(DrawnPixel(image, strip)), 255);
  strip.frame = -1;  // nothing
  EXPECT_EQ(PixelA(DrawnPixel(image, strip)), 0);
}

TEST_F(ImageTest, ButtonDrawsTheFrameOfItsState) {
  CImage strip;  // normal red, hover green, pressed blue, disabled white
  ASSERT_TRUE(strip.LoadFromResource(GetModuleHandleW(nullptr), L"PNG", 1, 4));
  auto* button = new CLayerButtonCtrl(&root_, &window_, 5, 0, 0, 2, 2);
  button->SetStateImage(&strip);
  root_.AddChild(button);
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(8, 8));
  EXPECT_EQ(PixelR(canvas.Pixel(1, 1)), 255);
  root_.OnWindowMouseMove(0, 1, 1);
  ASSERT_TRUE(canvas.Compose(8, 8));
  EXPECT_EQ(PixelG(canvas.Pixel(1, 1)), 255);
  EXPECT_EQ(PixelR(canvas.Pixel(1, 1)), 0);
  root_.OnWindowLButtonDown(MK_LBUTTON, 1, 1);
  ASSERT_TRUE(canvas.Compose(8, 8));
  EXPECT_EQ(PixelB(canvas.Pixel(1, 1)), 255);
  button->SetEnabled(FALSE, FALSE);
  ASSERT_TRUE(canvas.Compose(8, 8));
  EXPECT_EQ(canvas.Pixel(1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(PixelA(canvas.Pixel(3, 1)), 0);  // one frame wide, not the strip
}

TEST_F(ImageTest, CheckedBoxUsesTheSecondHalfOfItsStrip) {
  CImage strip;  // read as 8 frames one pixel wide: R R G G B B W W
  ASSERT_TRUE(strip.LoadFromResource(GetModuleHandleW(nullptr), L"PNG", 1, 8));
  auto* box = new CLayerCheckboxCtrl(&root_, &window_, 6, 0, 0, 4, 4);
  box->SetStateImage(&strip);
  root_.AddChild(box);
  CTestCanvas canvas(&root_, kNoColor);
  ASSERT_TRUE(canvas.Compose(8, 8));
  EXPECT_EQ(PixelR(canvas.Pixel(0, 1)), 255);  // frame 0, centred vertically (rows 1-2)
  EXPECT_EQ(PixelA(canvas.Pixel(0, 0)), 0);
  EXPECT_EQ(PixelA(canvas.Pixel(1, 1)), 0);    // the box is one frame wide
  box->SetChecked(TRUE, FALSE);
  ASSERT_TRUE(canvas.Compose(8, 8));
  EXPECT_EQ(PixelB(canvas.Pixel(0, 1)), 255);  // frame 4
}

TEST_F(ImageTest, LoadsFromAFile) {
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(1), L"PNG");
  ASSERT_NE(res, nullptr);
  const void* bytes = LockResource(LoadResource(nullptr, res));
  const DWORD size = SizeofResource(nullptr, res);
  wchar_t dir[MAX_PATH], path[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, dir), 0u);
  ASSERT_NE(GetTempFileNameW(dir, L"lay", 0, path), 0u);
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes, size, &written, nullptr);
  CloseHandle(file);
  {
    CImage image;
    EXPECT_TRUE(image.LoadFromFile(path, 4));
    EXPECT_EQ(image.FrameWidth(), 2);
  }
  DeleteFileW(path);
}

TEST_F(ImageTest, NotLoadedImageDrawsNothing) {
  CImage image;
  EXPECT_FALSE(image.IsLoaded());
  LayerImageLayout stretched;
  stretched.mode = kImageStretched;
  EXPECT_EQ(PixelA(DrawnPixel(image, stretched)), 0);
  static const unsigned char kJunk[] = {1, 2, 3, 4};
  EXPECT_FALSE(image.LoadFromMemory(kJunk, sizeof(kJunk)));
}

}  // namespace
