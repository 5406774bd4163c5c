#include "ui/folder_browser.h"

#include <gtest/gtest.h>

namespace {

UINT FakeDriveType(const wchar_t* root) {
  switch (root[0]) {
    case L'C':
    case L'D':
      return DRIVE_FIXED;
    case L'E':
      return DRIVE_REMOVABLE;
    case L'F':
      return DRIVE_CDROM;
    case L'N':
      return DRIVE_REMOTE;
    default:
      return DRIVE_NO_ROOT_DIR;
  }
}

struct SelectCase {
  const wchar_t* path;
  bool selectable;
};

class SelectableFolderTest : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SelectableFolderTest, OkOnlyForFileSystemFoldersOnFixedDrives) {
  EXPECT_EQ(IsSelectableFolder(GetParam().path, FakeDriveType), GetParam().selectable)
      << (GetParam().path ? GetParam().path : L"(none)");
}

INSTANTIATE_TEST_SUITE_P(Selections, SelectableFolderTest,
                         ::testing::Values(SelectCase{nullptr, false}, SelectCase{L"", false},
                                           SelectCase{L"C:\\", true},
                                           SelectCase{L"D:\\Apps", true},
                                           SelectCase{L"E:\\Stick", false},
                                           SelectCase{L"F:\\", false},
                                           SelectCase{L"N:\\Share", false},
                                           SelectCase{L"Q:\\", false},
                                           // No drive letter: nothing to test it against.
                                           SelectCase{L"\\\\server\\share", true}));

struct AppendCase {
  const wchar_t* chosen;
  const wchar_t* result;
};

class AppendProductFolderTest : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendProductFolderTest, AddsTheFolderOnce) {
  EXPECT_EQ(AppendProductFolder(GetParam().chosen, L"Pelorix"), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, AppendProductFolderTest,
    ::testing::Values(AppendCase{L"D:\\Apps", L"D:\\Apps\\Pelorix"},
                      AppendCase{L"D:\\Apps\\Pelorix", L"D:\\Apps\\Pelorix"},
                      AppendCase{L"D:\\Apps\\PELORIX", L"D:\\Apps\\PELORIX"},
                      AppendCase{L"D:\\MyPelorix", L"D:\\MyPelorix"},
                      AppendCase{L"C:\\", L"C:\\Pelorix"},
                      AppendCase{L"lorix", L"lorix\\Pelorix"},
                      AppendCase{L"D:\\Pelorix2", L"D:\\Pelorix2\\Pelorix"}));

}  // namespace
