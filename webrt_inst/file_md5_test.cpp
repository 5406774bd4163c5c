#include "webrt_inst/file_md5.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/scoped_handle.h"

namespace webrt {
namespace {

class FileMd5Test : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + L"webrt_md5_" + std::to_wstring(GetCurrentProcessId()) + L".bin";
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }

  void Write(const std::string& bytes) {
    base::ScopedHandle file(
        CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr));
  }

  std::wstring path_;
};

TEST_F(FileMd5Test, DigestsTheWholeFile) {
  Write("abc");
  EXPECT_EQ(L"900150983cd24fb0d6963f7d28e17f72", FileMd5(path_));
  // Longer than one read chunk.
  const std::string big(200 * 1024 + 7, 'x');
  Write(big);
  EXPECT_EQ(StringMd5(big), FileMd5(path_));
}

TEST_F(FileMd5Test, MissingFileHasNoDigest) { EXPECT_EQ(L"", FileMd5(path_)); }

TEST(StringMd5, KnownVectors) {
  EXPECT_EQ(L"d41d8cd98f00b204e9800998ecf8427e", StringMd5(""));
  EXPECT_EQ(L"900150983cd24fb0d6963f7d28e17f72", StringMd5("abc"));
}

TEST(SameMd5, IgnoresCaseButNeverMatchesNothing) {
  EXPECT_TRUE(SameMd5(L"900150983cd24fb0d6963f7d28e17f72", L"900150983CD24FB0D6963F7D28E17F72"));
  EXPECT_FALSE(SameMd5(L"900150983cd24fb0d6963f7d28e17f72", L"900150983cd24fb0d6963f7d28e17f73"));
  // An unreadable file (no digest) must not pass an empty expectation.
  EXPECT_FALSE(SameMd5(L"", L""));
  EXPECT_FALSE(SameMd5(L"900150983cd24fb0d6963f7d28e17f72", L""));
}

}  // namespace
}  // namespace webrt
