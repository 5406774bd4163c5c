#include "package/item_path.h"

#include <gtest/gtest.h>

#include "base/string_conv.h"

namespace package {
namespace {

TEST(ItemPathTest, OrdinaryNamesAreSafe) {
  const wchar_t* const kSafe[] = {
      L"a.txt", L"dir\\b.txt", L"dir/b.txt", L"中文目录\\中文文件.txt", L"a..b", L".hidden",
      L"CONFIG.SYS", L"COM10", L"LPT0", L"console.log", L"NULL", L"auxiliary\\x", L"[Content]",
      L"a b\\c d.txt", L"x\\y\\z\\w.dll"};
  for (const wchar_t* item : kSafe) {
    EXPECT_TRUE(IsSafeItemPath(item)) << base::WideToUtf8(item);
  }
}

TEST(ItemPathTest, EscapesStreamsAndDevicesAreRefused) {
  const wchar_t* const kUnsafe[] = {
      L"", L"..", L".", L"..\\a", L"../a", L"a\\..\\..\\b", L"a/../b", L"a\\.\\b", L"\\a",
      L"/a", L"\\\\server\\share\\a", L"\\\\?\\C:\\a", L"C:a", L"C:\\a", L"c:/a",
      L"a.txt:hidden", L"a.txt::$DATA", L"CON", L"con", L"NUL.txt", L"nul.tar.gz", L"COM1",
      L"dir\\LPT9.log", L"CON .txt", L"aux", L"PRN.", L"CONIN$", L"conout$.x", L"COM\u00B9",
      L"a\\", L"a\\\\b", L"a.", L"a ", L"...", L"a*b", L"a?b", L"a<b", L"a|b", L"a\"b",
      L"a\x01" L"b"};
  for (const wchar_t* item : kUnsafe) {
    EXPECT_FALSE(IsSafeItemPath(item)) << base::WideToUtf8(item);
  }
  EXPECT_FALSE(IsSafeItemPath(std::wstring(300, L'a')));
}

TEST(ItemPathTest, ContainmentAfterNormalisation) {
  EXPECT_TRUE(IsPathInside(L"C:\\d\\", L"C:\\d\\x"));
  EXPECT_TRUE(IsPathInside(L"C:\\d\\", L"c:\\D\\sub\\x"));
  EXPECT_TRUE(IsPathInside(L"C:\\d", L"C:\\d\\x"));
  EXPECT_FALSE(IsPathInside(L"C:\\d\\", L"C:\\d\\..\\x"));
  EXPECT_FALSE(IsPathInside(L"C:\\d\\", L"C:\\dx\\y"));
  EXPECT_FALSE(IsPathInside(L"C:\\d\\", L"C:\\d\\"));
  EXPECT_FALSE(IsPathInside(L"C:\\d\\", L"D:\\d\\x"));
  EXPECT_FALSE(IsPathInside(L"C:\\d\\", L"C:\\d\\a\\..\\..\\x"));
}

}  // namespace
}  // namespace package
