#include "engine/install_steps.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/install_dir.h"
#include "engine/placement_test_support.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

using testing_support::ScopedTempDir;
using testing_support::WriteText;

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(CleanableInstallDir, OnlyAFolderBelowARoot) {
  const struct {
    const wchar_t* dir;
    bool cleanable;
  } cases[] = {
      {L"C:\\Program Files\\Pelorix", true},
      {L"C:/Apps/Pelorix", true},
      {L"C:\\a\\..\\Pelorix", true},
      {L"\\\\server\\share\\Pelorix", true},
      {L"", false},
      {L"C:\\", false},
      {L"C:", false},
      {L"C:Pelorix", false},
      {L"Pelorix", false},
      {L"C:\\.", false},
      {L"C:\\Pelorix\\..", false},
      {L"C:\\Pelorix\\. .", false},
      {L"C:\\a\\..\\..\\", false},
      {L"\\\\?\\C:\\Pelorix\\..", false},
      {L"\\\\.\\C:\\Pelorix", false},
      {L"\\??\\C:\\Pelorix", false},
      {L"\\\\server\\share\\", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.cleanable, IsCleanableInstallDir(c.dir)) << c.dir;
}

// Whatever "/DIR", the registry or the wizard hand over passes through
// NormalizeInstallDir; what comes out of it for a root is never cleaned. (A
// drive that is missing or empty keeps its root: nothing is appended.)
TEST(CleanableInstallDir, NormalizedRootsAreRefused) {
  const struct {
    const wchar_t* given;
    bool cleanable;
  } cases[] = {
      {L"C:\\", true},  // a root with entries gets "\Pelorix"
      {L"C:\\..\\", true},
      {L"Q:\\", false},
      {L"Q:", false},
      {L"Q:\\.", false},
      {L"Q:\\..\\", false},
      {L"\\\\?\\Q:\\", false},
      {L"\\\\server\\share\\", false},
  };
  for (const auto& c : cases) {
    const std::wstring dir = NormalizeInstallDir(c.given);
    EXPECT_EQ(c.cleanable, IsCleanableInstallDir(dir)) << c.given << L" -> " << dir;
  }
}

// "<dir>\sub\.." names <dir> itself, so a clean-up that ran on it would
// strip the folder above the product's.
TEST(CleanableInstallDir, CleanUpsLeaveARefusedDirectoryAlone) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  ASSERT_TRUE(package::CreateDirectories(root.Child(L"update"), nullptr));
  ASSERT_TRUE(WriteText(root.Child(L"update\\keep.bin"), "x"));
  ASSERT_TRUE(WriteText(root.Child(L"keep.tmp"), "x"));
  CSystemInstallSteps steps;
  const std::wstring dotted = root.Child(L"sub\\..");
  steps.DeleteTempFiles(dotted);
  steps.DeleteUpdateFolder(dotted);
  EXPECT_TRUE(Exists(root.Child(L"keep.tmp")));
  EXPECT_TRUE(Exists(root.Child(L"update\\keep.bin")));

  steps.DeleteTempFiles(root.path());
  steps.DeleteUpdateFolder(root.path());
  EXPECT_FALSE(Exists(root.Child(L"keep.tmp")));
  EXPECT_FALSE(Exists(root.Child(L"update")));
}

}  // namespace
}  // namespace engine
