#include "ui/res_initializer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ui/ui_resource_ids.h"

namespace {

class ResInitializerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(gdiplus_.ok()); }
  void TearDown() override { res_.Term(); }

  gdip::ScopedStartup gdiplus_;
  ResInitializer res_;
};

struct ImageSize {
  UINT id;
  int frames;
  int frame_width;
  int height;
};

// Each strip fits the control that shows it.
constexpr ImageSize kSizes[] = {
    {IDB_CLOSE, 4, 25, 25},           {IDB_BOX_BUTTON_PRIMARY, 3, 90, 28},
    {IDB_BOX_BUTTON_SECONDARY, 3, 90, 28}, {IDB_BOX_CLOSE, 3, 35, 35},
    {IDB_BOX_BACKGROUND, 1, 420, 180}, {IDB_CHECKBOX, 8, 14, 14},
    {IDB_WELCOME_LOGO, 1, 79, 105},   {IDB_BROWSE, 4, 16, 14},
    {IDB_CUSTOM_LINK, 3, 79, 14},     {IDB_PROGRESS_BACK, 1, 608, 10},
    {IDB_PROGRESS_FILL, 1, 608, 10},  {IDB_DIR_FIELD, 1, 620, 34},
    {IDB_PAGE_BACKGROUND, 1, 690, 446}, {IDB_MINIMISE, 3, 25, 25},
    {IDB_LARGE_BUTTON, 4, 198, 50},   {IDB_INSTALL_BUTTON, 4, 120, 40},
    {IDB_BACK_BUTTON, 3, 120, 40},    {IDB_PROGRESS_PICTURE, 1, 120, 140},
    {IDB_FINISH_LOGO, 1, 79, 105},
};

TEST_F(ResInitializerTest, RegistersEveryImageWithItsFrames) {
  // Looked up while the decoding thread is at work too: each image once, whole.
  for (const bool ahead : {false, true}) {
    SCOPED_TRACE(ahead ? "decoded ahead" : "decoded on first use");
    EXPECT_TRUE(res_.Init(GetModuleHandleW(nullptr)));
    if (ahead) res_.DecodeImagesAhead();
    for (const ImageSize& size : kSizes) {
      const CImage* image = res_.GetImage(size.id);
      ASSERT_NE(image, nullptr) << size.id;
      EXPECT_EQ(res_.GetImage(size.id), image) << size.id;
      EXPECT_TRUE(image->IsLoaded()) << size.id;
      EXPECT_EQ(image->FrameCount(), size.frames) << size.id;
      EXPECT_EQ(ImageFrameCount(size.id), size.frames) << size.id;
      EXPECT_EQ(image->FrameWidth(), size.frame_width) << size.id;
      EXPECT_EQ(image->Width(), size.frame_width * size.frames) << size.id;
      EXPECT_EQ(image->Height(), size.height) << size.id;
    }
    EXPECT_EQ(res_.GetImage(248), nullptr);
  }
}

TEST_F(ResInitializerTest, RegistersFontsAndTheHandCursorUntilTerm) {
  EXPECT_TRUE(res_.Init(GetModuleHandleW(nullptr)));
  for (UINT id = IDF_8; id <= IDF_22_BOLD; ++id) EXPECT_NE(res_.GetFont(id), nullptr) << id;
  EXPECT_EQ(res_.GetFont(1000), nullptr);
  EXPECT_EQ(res_.GetFont(1016), nullptr);
  EXPECT_EQ(res_.GetCursor(IDC_HAND_CURSOR), LoadCursorW(nullptr, IDC_HAND));

  res_.DecodeImagesAhead();  // stopped by Term: nothing it decodes stays
  res_.Term();
  EXPECT_EQ(res_.GetFont(IDF_14), nullptr);
  EXPECT_EQ(res_.GetImage(IDB_BOX_BACKGROUND), nullptr);
  EXPECT_EQ(res_.GetCursor(IDC_HAND_CURSOR), nullptr);
}

TEST_F(ResInitializerTest, MissingImagesAreReportedButFontsStay) {
  // kernel32 carries none of the PNG resources.
  EXPECT_FALSE(res_.Init(GetModuleHandleW(L"kernel32.dll")));
  EXPECT_EQ(res_.GetImage(IDB_BOX_BACKGROUND), nullptr);
  EXPECT_NE(res_.GetFont(IDF_12), nullptr);
}

// Reads the extended dialog template the message box runs from.
TEST(UiResources, MessageBoxTemplateIsAnEmptyExtendedDialog) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(IDD_MESSAGE_BOX), RT_DIALOG);
  ASSERT_NE(res, nullptr);
  const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, res)));
  ASSERT_NE(data, nullptr);

  auto word = [&](size_t at) {
    WORD w;
    std::memcpy(&w, data + at, 2);
    return w;
  };
  auto dword = [&](size_t at) {
    DWORD d;
    std::memcpy(&d, data + at, 4);
    return d;
  };
  EXPECT_EQ(word(0), 1);       // dlgVer
  EXPECT_EQ(word(2), 0xFFFF);  // signature: extended
  EXPECT_EQ(dword(12), static_cast<DWORD>(WS_POPUP | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS));
  EXPECT_EQ(word(16), 0);  // no controls
  EXPECT_EQ(word(22), 316);
  EXPECT_EQ(word(24), 183);
  // Then menu, class and title (each 0 here), point size, weight, italic,
  // charset and the face name.
  size_t at = 26;
  EXPECT_EQ(word(at), 0);
  EXPECT_EQ(word(at + 2), 0);
  EXPECT_EQ(word(at + 4), 0);
  at += 6;
  EXPECT_EQ(word(at), 8);
  EXPECT_STREQ(reinterpret_cast<const wchar_t*>(data + at + 6), L"MS Shell Dlg");
}

}  // namespace
