#include "base/string_conv.h"

#include <gtest/gtest.h>

TEST(StringConv, RoundTripsChineseAndSurrogates) {
  const std::wstring text = L"安装 Pelorix \U0001F600 ok";
  const std::string utf8 = base::WideToUtf8(text);
  EXPECT_EQ(utf8, "\xE5\xAE\x89\xE8\xA3\x85 Pelorix \xF0\x9F\x98\x80 ok");
  EXPECT_EQ(base::Utf8ToWide(utf8), text);
}

TEST(StringConv, EmptyAndInvalidInput) {
  EXPECT_TRUE(base::Utf8ToWide("").empty());
  EXPECT_TRUE(base::WideToUtf8(L"").empty());
  // A lone continuation byte becomes the replacement character, not a crash.
  EXPECT_EQ(base::Utf8ToWide("a\x80z"), std::wstring(L"a\xFFFDz"));
}
