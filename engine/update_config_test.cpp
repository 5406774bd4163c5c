#include "engine/update_config.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/placement_test_support.h"
#include "engine/product_registration.h"

namespace engine {
namespace {

using testing_support::ReadText;
using testing_support::ScopedTempDir;
using testing_support::WriteText;

std::wstring IniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(section, key, L"<none>", value, 1024, file.c_str());
  return value;
}

TEST(UpdateConfigPath, Rewrite) {
  const std::wstring long_dir = L"C:\\" + std::wstring(140, L'd');
  const struct {
    std::wstring dir;
    const wchar_t* old_value;
    std::wstring expected;
  } cases[] = {
      {L"C:\\Program Files\\Pelorix", L"Nexhub\\update", L"C:\\Program Files\\Pelorix\\Nexhub\\update"},
      {L"C:\\Pelorix\\", L"update", L"C:\\Pelorix\\update"},
      {L"C:\\Pelorix", L"\\update", L"C:\\Pelorix\\update"},
      {L"C:\\Pelorix", L"a\\..\\b", L"C:\\Pelorix\\b"},
      {L"C:\\Pelorix", L".", L"C:\\Pelorix"},  // the directory itself
      // Only the first 129 characters of a long directory are kept.
      {long_dir, L"update", long_dir.substr(0, 129) + L"\\update"},
      {long_dir.substr(0, 129), L"update", long_dir.substr(0, 129) + L"\\update"},
      {long_dir.substr(0, 130), L"update", long_dir.substr(0, 129) + L"\\update"},
  };
  for (const auto& c : cases) {
    std::wstring out;
    ASSERT_TRUE(RewriteConfigPath(c.dir, c.old_value, &out)) << c.dir;
    EXPECT_EQ(c.expected, out) << c.dir << L" + " << c.old_value;
  }
}

TEST(UpdateConfigPath, TooLongForTheBuffer) {
  std::wstring out = L"unchanged";
  EXPECT_FALSE(RewriteConfigPath(L"C:\\P", std::wstring(300, L'x'), &out));
  EXPECT_EQ(L"unchanged", out);
}

TEST(UpdateConfigFile, MissingFileStaysMissing) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  EXPECT_EQ(0, UpdateConfigPaths(dir.path()));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
            GetFileAttributesW(JoinPath(dir.path(), kUpdateConfigName).c_str()));
}

TEST(UpdateConfigFile, RewritesEveryNonEmptyPath) {
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  const std::wstring file = JoinPath(dir.path(), kUpdateConfigName);
  ASSERT_TRUE(WriteText(file,
                        "[main]\r\npath=Nexhub\\pelorix\r\nurl=http://127.0.0.1/u\r\n"
                        "[empty]\r\npath=\r\n"
                        "[nopath]\r\nname=x\r\n"
                        "[tools]\r\npath=Utils\r\n"));
  EXPECT_EQ(2, UpdateConfigPaths(dir.path()));
  EXPECT_EQ(dir.path() + L"\\Nexhub\\pelorix", IniValue(file, L"main", L"path"));
  EXPECT_EQ(dir.path() + L"\\Utils", IniValue(file, L"tools", L"path"));
  EXPECT_EQ(L"http://127.0.0.1/u", IniValue(file, L"main", L"url"));
  EXPECT_EQ(L"", IniValue(file, L"empty", L"path"));
  EXPECT_EQ(L"<none>", IniValue(file, L"nopath", L"path"));
  EXPECT_EQ(L"x", IniValue(file, L"nopath", L"name"));
}

TEST(UpdateConfigFile, LongInstallDirectoryIsCut) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  // Long enough that the cut falls inside the last component.
  std::wstring dir = root.Child(std::wstring(200 - root.path().size(), L'p'));
  ASSERT_GT(dir.size(), 140u);
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  const std::wstring file = JoinPath(dir, kUpdateConfigName);
  ASSERT_TRUE(WriteText(file, "[main]\r\npath=Nexhub\\pelorix\r\n"));
  EXPECT_EQ(1, UpdateConfigPaths(dir));
  EXPECT_EQ(dir.substr(0, 129) + L"\\Nexhub\\pelorix", IniValue(file, L"main", L"path"));
}

}  // namespace
}  // namespace engine
