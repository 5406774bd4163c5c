#include "ui/layer/shared_font.h"

#include <gtest/gtest.h>

namespace {

int g_enumerations = 0;
UINT AllFamilies() {
  ++g_enumerations;
  return kAllFaces;
}
UINT NoFamilies() {
  ++g_enumerations;
  return 0;
}

TEST(SharedFont, LowestPresentFlagWins) {
  EXPECT_STREQ(ChooseFaceName(kAllFaces), L"微软雅黑");
  EXPECT_STREQ(ChooseFaceName(kFaceMsYaHei | kFaceMsYaHeiUi | kFaceTahoma), L"Microsoft YaHei");
  EXPECT_STREQ(ChooseFaceName(kFaceMsYaHeiUi | kFaceSimSun), L"Microsoft YaHei UI");
  EXPECT_STREQ(ChooseFaceName(kFaceSimSun | kFacePMingLiU | kFaceTahoma), L"宋体");
  EXPECT_STREQ(ChooseFaceName(kFacePMingLiU | kFaceTahoma), L"新細明體");
  EXPECT_STREQ(ChooseFaceName(kFaceTahoma), L"Tahoma");
  EXPECT_STREQ(ChooseFaceName(0), L"");
}

TEST(SharedFont, BeforeNt6OnlySimSunIsAssumed) {
  g_enumerations = 0;
  EXPECT_EQ(DetectFaceFlags(5, AllFamilies), kFaceSimSun);
  EXPECT_EQ(g_enumerations, 0);
  EXPECT_STREQ(ChooseFaceName(DetectFaceFlags(5, NoFamilies)), L"宋体");
  EXPECT_EQ(g_enumerations, 0);
}

TEST(SharedFont, FromNt6TheInstalledFamiliesDecide) {
  g_enumerations = 0;
  EXPECT_EQ(DetectFaceFlags(6, AllFamilies), kAllFaces);
  EXPECT_EQ(DetectFaceFlags(10, NoFamilies), 0u);
  EXPECT_EQ(g_enumerations, 2);
}

TEST(SharedFont, ProcessFontMatchesTheInstalledFamilies) {
  CSharedFont* font = CSharedFont::GetInstance();
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(CSharedFont::GetInstance(), font);
  ASSERT_NE(font->GetFont(), nullptr);
  EXPECT_EQ(font->GetFaceName(), ChooseFaceName(EnumerateInstalledFaces()));
  LOGFONTW lf = {};
  ASSERT_EQ(GetObjectW(font->GetFont(), sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
  EXPECT_EQ(lf.lfHeight, -12);
  EXPECT_EQ(lf.lfWeight, 400);
  EXPECT_EQ(lf.lfCharSet, 134);
  EXPECT_EQ(lf.lfPitchAndFamily, 32);
}

}  // namespace
