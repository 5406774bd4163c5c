#include "engine/install_dir.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/registry.h"
#include "engine/fake_environment_queries.h"
#include "engine/install_task_interface.h"
#include "engine/placement_test_support.h"
#include "package/temp_workspace.h"
#include "engine/product_registration.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

bool IsDir(const std::wstring& path) {
  DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void Touch(const std::wstring& path) {
  package::CreateDirectories(path.substr(0, path.find_last_of(L'\\')), nullptr);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  CloseHandle(h);
}

class InstallDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(package::NewTempPath(&root_));
    ASSERT_TRUE(package::CreateDirectories(root_, nullptr));
    // Every drive the real machine has is described as roomy and fixed.
    wchar_t drives[256];
    DWORD n = GetLogicalDriveStringsW(255, drives);
    for (const wchar_t* d = drives; d < drives + n && *d; d += wcslen(d) + 1) {
      queries_.drives.push_back(Fixed(d[0], kHuge));
    }
  }
  void TearDown() override { package::DeleteTree(root_); }
  int Check(const std::wstring& path) { return ValidateInstallDir(path.c_str(), &queries_); }
  FakeDrive* Drive(wchar_t letter) {
    for (auto& d : queries_.drives)
      if (towupper(d.letter) == towupper(letter)) return &d;
    return nullptr;
  }

  std::wstring root_;
  FakeQueries queries_;
};

TEST_F(InstallDirTest, CheckCodesInRuleOrder) {
  EXPECT_EQ(ValidateInstallDir(nullptr, &queries_), kDirBadPath);
  EXPECT_EQ(Check(L" \t "), kDirEmpty);
  EXPECT_EQ(Check(L"Apps\\Pelorix"), kDirRelative);
  Touch(root_ + L"\\file");
  EXPECT_EQ(Check(root_ + L"\\file"), kDirIsFile);
  EXPECT_EQ(Check(root_ + L"\\a*b"), kDirBadPath);
  EXPECT_EQ(Check(root_ + L"\\a\"b"), kDirBadPath);
  EXPECT_EQ(Check(root_ + L"\\a|b"), kDirBadPath);
  // Creation below a file fails.
  EXPECT_EQ(Check(root_ + L"\\file\\sub"), kDirCreateFailed);
  EXPECT_EQ(Check(root_ + L"\\new\\deeper"), kDirUsable);
  EXPECT_FALSE(IsDir(root_ + L"\\new")) << "the check leaves no folder behind";
  package::CreateDirectories(root_ + L"\\kept", nullptr);
  EXPECT_EQ(Check(root_ + L"\\kept"), kDirUsable);
  EXPECT_TRUE(IsDir(root_ + L"\\kept")) << "an existing folder stays";
}

TEST_F(InstallDirTest, LengthCountsAsGivenAndBlanksDoNot) {
  std::wstring long_dir = root_ + L"\\";
  long_dir.append(259 - long_dir.size(), L'x');
  ASSERT_EQ(long_dir.size(), 259u);
  package::CreateDirectories(long_dir, nullptr);
  EXPECT_EQ(Check(long_dir), kDirTooLong) << "even when it exists";
  EXPECT_EQ(Check(long_dir.substr(0, 258)), kDirUsable);
  EXPECT_EQ(Check(L"  " + root_ + L"\\blank  "), kDirUsable);
}

TEST_F(InstallDirTest, SpaceIsTheCallersOnAFixedDrive) {
  FakeDrive* drive = Drive(root_[0]);
  ASSERT_NE(drive, nullptr);
  drive->free_to_caller = 150 * kMiB;  // not below 150: usable
  EXPECT_EQ(Check(root_), kDirUsable);
  drive->free_to_caller = 150 * kMiB - 1;
  EXPECT_EQ(Check(root_), kDirNoSpace) << "the volume's total free space does not count";
  drive->free_to_caller = kHuge;
  drive->type = DRIVE_REMOVABLE;
  EXPECT_EQ(Check(root_), kDirNoSpace);
  EXPECT_EQ(Check(L"\\\\server\\share\\Pelorix"), kDirNoSpace);
}

TEST_F(InstallDirTest, NormalizingPicksTheFolderAnInstallUses) {
  const std::wstring fwd = root_ + L"/Apps/";
  std::wstring expected = root_ + L"\\Apps";
  EXPECT_EQ(NormalizeInstallDir(fwd.c_str()), expected) << "missing: used as is";
  package::CreateDirectories(expected, nullptr);
  EXPECT_EQ(NormalizeInstallDir(expected.c_str()), expected) << "empty: used as is";
  const std::wstring probe = expected + L"\\{0AB2C3D4-1111-2222-3333-444455556666}.tf";
  Touch(probe);
  EXPECT_EQ(NormalizeInstallDir(expected.c_str()), expected) << "only a killed run's probe file";
  EXPECT_EQ(package::RemoveProbeLeftovers(expected), 1);
  Touch(expected + L"\\other.txt");
  EXPECT_EQ(NormalizeInstallDir((expected + L"\\").c_str()), expected + L"\\Pelorix");
  ASSERT_TRUE(MarkUnfinished(expected, true));
  EXPECT_EQ(NormalizeInstallDir(expected.c_str()), expected) << "an install that did not finish";
  ASSERT_TRUE(MarkUnfinished(expected, false));
  EXPECT_EQ(NormalizeInstallDir(expected.c_str()), expected + L"\\Pelorix") << "mark removed";
  Touch(MainProgramPath(expected));
  EXPECT_EQ(NormalizeInstallDir(expected.c_str()), expected) << "holds the product";
  EXPECT_EQ(NormalizeInstallDir(L"\\"), L"\\");
}

TEST_F(InstallDirTest, DefaultIsTheRegisteredInstallThenProgramFiles) {
  // The key where the deliverable, a 32-bit setup, writes it (also when
  // these tests are built for x86_64).
  constexpr REGSAM kView = KEY_WOW64_32KEY;
  base::RegRemoveTree(HKEY_LOCAL_MACHINE, kProductKey, kView);
  wchar_t program_files[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, program_files), S_OK);
  const std::wstring fallback = std::wstring(program_files) + L"\\Pelorix";
  EXPECT_EQ(DefaultInstallDir(&queries_), fallback);

  // A registered path that no longer exists is ignored.
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Setup Path", root_ + L"\\gone", false, kView));
  EXPECT_EQ(RegisteredInstallDir(), L"");
  EXPECT_EQ(DefaultInstallDir(&queries_), fallback);
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kProductKey, L"Setup Path", root_, false, kView));
  EXPECT_EQ(RegisteredInstallDir(), root_);
  EXPECT_EQ(DefaultInstallDir(&queries_), root_);
  base::RegRemoveTree(HKEY_LOCAL_MACHINE, kProductKey, kView);
}

TEST_F(InstallDirTest, FullDriveGivesWayToTheFirstRoomyFixedDrive) {
  base::RegRemoveTree(HKEY_LOCAL_MACHINE, kProductKey);
  wchar_t program_files[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, program_files), S_OK);
  const wchar_t system_drive = program_files[0];
  queries_.drives = {Fixed(system_drive, 10 * kMiB), {L'E', DRIVE_REMOVABLE, kHuge, kHuge, false},
                     Fixed(L'F', 150 * kMiB), Fixed(L'G', kHuge), Fixed(L'H', kHuge)};
  std::wstring expected = std::wstring(program_files) + L"\\Pelorix";
  expected[0] = L'G';
  EXPECT_EQ(DefaultInstallDir(&queries_), expected);
  queries_.drives = {Fixed(system_drive, 10 * kMiB)};
  EXPECT_EQ(DefaultInstallDir(&queries_), L"");
}

TEST(InstallDirProgramFiles, WholeComponentsWithoutCase) {
  const std::vector<std::wstring> folders = {L"C:\\Program Files", L"D:\\Apps (x86)\\"};
  const struct {
    const wchar_t* dir;
    bool inside;
  } cases[] = {
      {L"C:\\Program Files\\Pelorix", true},
      {L"c:\\PROGRAM FILES\\pelorix\\", true},
      {L"C:\\Program Files", true},
      {L"D:\\Apps (x86)\\Pelorix", true},
      {L"C:\\Program Files (x86)\\Pelorix", false},
      {L"C:\\Program FilesX", false},
      {L"C:\\Program Files\\..\\Pelorix", false},
      {L"E:\\Program Files\\Pelorix", false},
      {L"D:\\Apps", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.inside, IsInProgramFiles(c.dir, folders)) << c.dir;
  EXPECT_FALSE(IsInProgramFiles(L"C:\\Program Files\\Pelorix", {}));
}

// The drive's list (often "Authenticated Users: Modify") would let a user
// replace what the product runs elevated at log-on. Wine keeps no directory
// lists, so the protected creation is watched through the seam.
TEST_F(InstallDirTest, CreatedOutsideProgramFilesTheOutermostNewFolderIsProtected) {
  const std::vector<std::wstring> elsewhere = {L"Q:\\Program Files"};
  testing_support::CRecordingFileSecurity security;
  const std::wstring dir = root_ + L"\\Apps\\Pelorix";
  ASSERT_TRUE(CreateInstallDir(dir, elsewhere, &security));
  EXPECT_TRUE(IsDir(dir));
  EXPECT_EQ(std::vector<std::wstring>{root_ + L"\\Apps"}, security.protected_dirs);

  // Under Program Files the folder inherits Program Files' own list.
  testing_support::CRecordingFileSecurity inside;
  ASSERT_TRUE(CreateInstallDir(root_ + L"\\pf\\Pelorix", {root_}, &inside));
  EXPECT_TRUE(IsDir(root_ + L"\\pf\\Pelorix"));
  EXPECT_TRUE(inside.protected_dirs.empty());

  // No unprotected folder when the protected one cannot be made.
  testing_support::CRecordingFileSecurity failing;
  failing.fail = true;
  EXPECT_FALSE(CreateInstallDir(root_ + L"\\Other\\Pelorix", elsewhere, &failing));
  EXPECT_FALSE(IsDir(root_ + L"\\Other"));

  // The real list is one Windows accepts at creation.
  ASSERT_TRUE(CreateInstallDir(root_ + L"\\Real\\Pelorix", elsewhere, SystemFileSecurity())) << GetLastError();
  EXPECT_TRUE(IsDir(root_ + L"\\Real\\Pelorix"));
}

// Its list may be the user's own choice; Wine derives a directory's list from
// its mode bits and would not show a rewrite, so the seam is watched.
TEST_F(InstallDirTest, AnExistingDirectoryKeepsItsList) {
  const std::wstring dir = root_ + L"\\Existing";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  testing_support::CRecordingFileSecurity security;
  ASSERT_TRUE(CreateInstallDir(dir, {L"Q:\\Program Files"}, &security));
  EXPECT_TRUE(security.protected_dirs.empty());
  EXPECT_TRUE(security.resets.empty());
}

}  // namespace
}  // namespace engine
