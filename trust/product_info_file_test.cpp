#include "trust/product_info_file.h"

#include <gtest/gtest.h>

#include "trust/product_info_test_util.h"

namespace trust {
namespace {

using product_info_test::BaseFolder;
using product_info_test::Info;
using product_info_test::WriteInfo;

std::string Version(const std::wstring& path) {
  Json::Value root;
  return ReadProductInfoFile(path, &root) ? root["version"].asString() : "<unreadable>";
}

TEST(ProductInfoFile, ExtendedFileComesForwardWhenNewer) {
  struct Case {
    const char* main;      // version of the main file; null: absent
    const char* extended;  // null: absent
    bool same_bytes;
    bool replaced;
    const char* after;  // the main file's version afterwards
  } cases[] = {
      {nullptr, "1.0", false, true, "1.0"},
      {"1.0", "1.2", false, true, "1.2"},
      {"1.2", "1.0", false, false, "1.2"},
      {"", "1.0", false, true, "1.0"},      // no version of its own
      {"1.0", "1.0", false, false, "1.0"},  // different, not newer
      {"9", "10", false, false, "9"},       // versions compare as text
      {"1.0", "1.0", true, false, "1.0"},
      {"1.0", nullptr, false, false, "1.0"},
  };
  for (const Case& c : cases) {
    BaseFolder base;
    const std::wstring main = base.File(L"ProductInfo.dat");
    const std::wstring extended = base.File(L"ProductInfoEx.dat");
    if (c.main) {
      ASSERT_TRUE(WriteInfo(main, Info(c.main, R"({"product_id":"main"})")));
    }
    if (c.extended) {
      ASSERT_TRUE(WriteInfo(extended, Info(c.extended, c.same_bytes ? R"({"product_id":"main"})"
                                                                     : R"({"product_id":"extended"})")));
    }
    EXPECT_EQ(BringExtendedFileForward(extended, main), c.replaced) << (c.main ? c.main : "-");
    EXPECT_EQ(Version(main), c.after) << (c.main ? c.main : "-");
    if (c.extended) {
      EXPECT_EQ(Version(extended), c.extended);  // never touched
    }
  }
}

TEST(ProductInfoFile, UnreadableFilesGiveNothing) {
  BaseFolder base;
  Json::Value root;
  EXPECT_FALSE(ReadProductInfoFile(base.File(L"missing.dat"), &root));
  ASSERT_TRUE(log_test::WriteRaw(base.File(L"plain.dat"), Info("1", "")));  // not enciphered
  EXPECT_FALSE(ReadProductInfoFile(base.File(L"plain.dat"), &root));
  ProductInfoFile file;
  EXPECT_FALSE(file.Load(base.path()));
}

TEST(ProductInfoFile, UtilsFolderIsTheFallback) {
  BaseFolder base;
  ASSERT_TRUE(WriteInfo(base.File(L"utils\\ProductInfo.dat"), Info("1.0", R"({"product_id":"a"})")));
  ASSERT_TRUE(WriteInfo(base.File(L"utils\\ProductInfoEx.dat"), Info("2.0", R"({"product_id":"b"})")));
  ProductInfoFile file;
  ASSERT_TRUE(file.Load(base.path()));
  EXPECT_EQ(file.version(), "2.0");
  EXPECT_EQ(file.GeneralValue("product_id", "b"), L"b");
  EXPECT_EQ(file.GeneralValue("product_id", "a"), L"");
  // A main file in the base folder wins over the utils folder.
  ASSERT_TRUE(WriteInfo(base.File(L"ProductInfo.dat"), Info("0.5", R"({"product_id":"c"})")));
  ProductInfoFile again;
  ASSERT_TRUE(again.Load(base.path()));
  EXPECT_EQ(again.version(), "0.5");
}

}  // namespace
}  // namespace trust
