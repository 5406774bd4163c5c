#include "webrt_inst/download_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/scoped_handle.h"

namespace webrt {
namespace {

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(DownloadFolder, FreshPinnedAndRemovedWithItsFiles) {
  DownloadFolder first;
  DownloadFolder second;
  ASSERT_TRUE(first.Create());
  ASSERT_TRUE(second.Create());
  EXPECT_NE(first.path(), second.path());
  ASSERT_TRUE(IsDirectory(first.path()));

  // While in use it can be neither renamed nor replaced.
  const std::wstring moved = first.path() + L".moved";
  EXPECT_FALSE(MoveFileW(first.path().c_str(), moved.c_str()));
  RemoveDirectoryW(moved.c_str());

  const std::wstring file = first.path() + L"\\a.exe";
  ASSERT_TRUE(base::ScopedHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             0, nullptr))
                  .IsValid());
  const std::wstring path = first.path();
  first.Remove();
  EXPECT_TRUE(first.path().empty());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
}

}  // namespace
}  // namespace webrt
