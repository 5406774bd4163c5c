#include "engine/environment_check.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "engine/fake_environment_queries.h"
#include "engine/install_errors.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsEmptyDir(const std::wstring& dir) { return PathIsDirectoryEmptyW(dir.c_str()) != FALSE; }

// A fresh, empty directory in `parent`, removed with its content afterwards.
class ScratchDir {
 public:
  explicit ScratchDir(const std::wstring& parent) {
    if (!package::NewTempPathIn(parent, nullptr, &path_) ||
        !CreateDirectoryW(path_.c_str(), nullptr))
      path_.clear();
  }
  ~ScratchDir() {
    if (!path_.empty()) package::DeleteTree(path_);
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

std::wstring UserTemp() {
  wchar_t temp[MAX_PATH + 1];
  DWORD len = GetTempPathW(MAX_PATH + 1, temp);
  return std::wstring(temp, len <= MAX_PATH ? len : 0);
}

class EnvironmentCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    fake_.temp = scratch_.path() + L"\\";
  }
  void TearDown() override {
    package::SetGuidGeneratorForTesting(nullptr);
    EXPECT_TRUE(IsEmptyDir(scratch_.path())) << "the checks left something behind";
  }
  // Gives the drives of a table row, '*' standing for the temporary drive.
  void UseDrives(std::vector<FakeDrive> drives) {
    for (auto& d : drives)
      if (d.letter == L'*') d.letter = scratch_.path()[0];
    fake_.drives = std::move(drives);
  }

  ScratchDir scratch_{UserTemp()};
  FakeQueries fake_;
};

// Strictly more than 150 MiB, total free bytes of the volume, fixed drives
// only. Unless a row is about check 1, the temporary drive passes check 3.
TEST_F(EnvironmentCheckTest, DiskSpaceTable) {
  const struct {
    const char* name;
    std::vector<FakeDrive> drives;
    int expected;
  } cases[] = {
      {"exactly 150 MiB fails", {Fixed('*', 150 * kMiB)}, kEnvNoDiskSpace},
      {"one byte more passes", {Fixed('*', 150 * kMiB + 1)}, kEnvOk},
      {"no drives at all", {}, kEnvNoDiskSpace},
      {"a later fixed drive qualifies",
       {Fixed('*', 10 * kMiB), Fixed('Q', 100 * kMiB), Fixed('R', 150 * kMiB + 1)}, kEnvOk},
      {"only fixed drives count",
       {Fixed('*', 20 * kMiB), {'Q', DRIVE_REMOTE, kHuge, kHuge, false},
        {'R', DRIVE_REMOVABLE, kHuge, kHuge, false}, {'S', DRIVE_RAMDISK, kHuge, kHuge, false}},
       kEnvNoDiskSpace},
      {"total free counts, not the caller's quota", {{'*', DRIVE_FIXED, 150 * kMiB + 1, 0, false}},
       kEnvOk},
      {"a large quota does not make up for total free",
       {{'*', DRIVE_FIXED, 150 * kMiB, kHuge, false}}, kEnvNoDiskSpace},
      {"a drive that cannot be asked is skipped",
       {Fixed('*', 20 * kMiB), {'Q', DRIVE_FIXED, kHuge, kHuge, true}}, kEnvNoDiskSpace},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UseDrives(c.drives);
    EXPECT_EQ(c.expected, CheckEnvironment(&fake_));
  }
}

// At least 10 MiB on a fixed drive. Drive Q always passes check 1.
TEST_F(EnvironmentCheckTest, TempSpaceTable) {
  const struct {
    const char* name;
    FakeDrive temp_drive;
    int expected;
  } cases[] = {
      {"exactly 10 MiB passes", Fixed('*', 10 * kMiB), kEnvOk},
      {"one byte less fails", Fixed('*', 10 * kMiB - 1), kEnvTempTooSmall},
      {"mapped network drive fails however large", {'*', DRIVE_REMOTE, kHuge, kHuge, false},
       kEnvTempTooSmall},
      {"removable drive fails", {'*', DRIVE_REMOVABLE, kHuge, kHuge, false}, kEnvTempTooSmall},
      {"free space that cannot be read fails", {'*', DRIVE_FIXED, kHuge, kHuge, true},
       kEnvTempTooSmall},
      {"total free counts, not the caller's quota", {'*', DRIVE_FIXED, 10 * kMiB, 0, false},
       kEnvOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UseDrives({c.temp_drive, Fixed('Q', kHuge)});
    EXPECT_EQ(c.expected, CheckEnvironment(&fake_));
  }
}

// Only a drive letter, a colon and a separator qualify; a directory that can
// be created passes and its created levels go again.
TEST_F(EnvironmentCheckTest, TempPathTable) {
  UseDrives({Fixed('*', kHuge)});
  const std::wstring scratch = scratch_.path();
  const std::wstring blocker = scratch + L"\\blocker";  // a file where a level should be
  base::ScopedHandle(CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(Exists(blocker));
  std::wstring forward = fake_.temp;
  for (auto& ch : forward)
    if (ch == L'\\') ch = L'/';
  const std::wstring drive{scratch[0], L':'};
  const struct {
    const char* name;
    std::wstring temp;
    int expected;
  } cases[] = {
      {"UNC share", L"\\\\server\\share\\temp\\", kEnvTempNotWritable},
      {"device path", L"\\\\?\\" + fake_.temp, kEnvTempNotWritable},
      {"drive without separator", drive, kEnvTempNotWritable},
      {"drive-relative", drive + L"temp\\", kEnvTempNotWritable},
      {"relative", L"temp\\", kEnvTempNotWritable},
      {"digit for a letter", L"1:\\temp\\", kEnvTempNotWritable},
      {"unreadable", L"", kEnvTempNotWritable},
      {"longer than the buffer", drive + L"\\" + std::wstring(1100, L'a') + L"\\",
       kEnvTempNotWritable},
      {"level that cannot be created", blocker + L"\\sub\\", kEnvTempNotWritable},
      {"forward slashes", forward, kEnvOk},
      {"without trailing separator", scratch, kEnvOk},
      {"missing levels are created", scratch + L"\\one\\two\\", kEnvOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake_.temp = c.temp;
    EXPECT_EQ(c.expected, CheckEnvironment(&fake_));
    EXPECT_FALSE(Exists(scratch + L"\\one"));
  }
  EXPECT_FALSE(Exists(blocker + L"\\sub"));
  ASSERT_TRUE(DeleteFileW(blocker.c_str()));
}

TEST_F(EnvironmentCheckTest, AdministratorsTable) {
  UseDrives({Fixed('*', kHuge)});
  const struct {
    const char* name;
    BOOL member;
    bool fails;
    int expected;
  } cases[] = {
      {"member passes", TRUE, false, kEnvOk},
      {"not a member fails", FALSE, false, kEnvNotAdmin},
      {"a failed call fails", TRUE, true, kEnvNotAdmin},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake_.member = c.member;
    fake_.membership_fails = c.fails;
    EXPECT_EQ(c.expected, CheckEnvironment(&fake_));
    EXPECT_TRUE(fake_.asked_administrators);
    EXPECT_EQ(nullptr, fake_.asked_token);  // the calling thread's token
  }
}

// The first failing check decides.
TEST_F(EnvironmentCheckTest, ChecksRunInOrder) {
  const std::wstring writable = fake_.temp;
  UseDrives({Fixed('*', 150 * kMiB)});
  fake_.temp = L"\\\\server\\share\\";
  fake_.member = FALSE;
  EXPECT_EQ(kEnvNoDiskSpace, CheckEnvironment(&fake_));
  UseDrives({{'*', DRIVE_REMOTE, kHuge, kHuge, false}, Fixed('Q', kHuge)});
  EXPECT_EQ(kEnvTempNotWritable, CheckEnvironment(&fake_));
  fake_.temp = writable;
  EXPECT_EQ(kEnvTempTooSmall, CheckEnvironment(&fake_));
  UseDrives({Fixed('*', kHuge)});
  EXPECT_EQ(kEnvNotAdmin, CheckEnvironment(&fake_));
}

// Check 3 asks about the temporary directory's own drive. Wine maps Z: to the
// Unix root, which gives a second real drive letter.
TEST(EnvironmentCheckDriveTest, TempSpaceIsJudgedOnTheTemporaryDirectorysDrive) {
  if (!Exists(L"Z:\\tmp")) GTEST_SKIP() << "needs Wine's Z: drive";
  ScratchDir dir(L"Z:\\tmp");
  ASSERT_FALSE(dir.path().empty());
  FakeQueries fake;
  fake.temp = dir.path() + L"\\";
  fake.drives = {Fixed('C', kHuge), Fixed('Z', 10 * kMiB - 1)};
  EXPECT_EQ(kEnvTempTooSmall, CheckEnvironment(&fake));
  fake.drives = {Fixed('C', 10 * kMiB - 1), Fixed('Y', kHuge), Fixed('Z', 10 * kMiB)};
  EXPECT_EQ(kEnvOk, CheckEnvironment(&fake));
  EXPECT_TRUE(IsEmptyDir(dir.path()));
}

// Ten temporary names are tried. The GUID generator answers the write probe
// (its first call) and everything after the taken run with fresh GUIDs; the
// run repeats one GUID whose ".tmp" name exists.
GUID g_taken_guid;
int g_guid_calls = 0;
int g_taken_calls = 0;

HRESULT WINAPI TakenRunGuid(GUID* guid) {
  ++g_guid_calls;
  if (g_guid_calls > 1 && g_guid_calls <= 1 + g_taken_calls) {
    *guid = g_taken_guid;
    return S_OK;
  }
  return CoCreateGuid(guid);
}

class TempNameTriesTest : public EnvironmentCheckTest,
                          public ::testing::WithParamInterface<std::pair<int, int>> {
 protected:
  void TearDown() override {
    EXPECT_TRUE(DeleteFileW(taken_.c_str()));
    EnvironmentCheckTest::TearDown();
  }
  std::wstring taken_;
};

TEST_P(TempNameTriesTest, TakenNames) {
  UseDrives({Fixed('*', kHuge)});
  ASSERT_EQ(S_OK, CoCreateGuid(&g_taken_guid));
  wchar_t text[64];
  ASSERT_GT(StringFromGUID2(g_taken_guid, text, 64), 0);
  std::wstring name = text;
  CharLowerBuffW(&name[15], 4);  // the third group is written in lower case
  taken_ = scratch_.path() + L"\\" + name + L".tmp";
  base::ScopedHandle(CreateFileW(taken_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(Exists(taken_));
  g_guid_calls = 0;
  g_taken_calls = GetParam().first;
  package::SetGuidGeneratorForTesting(&TakenRunGuid);
  EXPECT_EQ(GetParam().second, CheckEnvironment(&fake_));
  EXPECT_EQ(11, g_guid_calls);
}

INSTANTIATE_TEST_SUITE_P(Tries, TempNameTriesTest,
                         ::testing::Values(std::make_pair(9, int{kEnvOk}),
                                           std::make_pair(10, int{kEnvTempTooSmall})));

// The machine's own drives and token; the temporary directory moved through
// TMP and TEMP, which GetTempPathW reads.
class RealEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.path().empty());
    for (auto& v : saved_) {
      wchar_t buffer[32768];
      DWORD len = GetEnvironmentVariableW(v.name, buffer, 32768);
      v.present = len > 0 && len < 32768;
      if (v.present) v.value.assign(buffer, len);
    }
  }
  void TearDown() override {
    for (auto& v : saved_) SetEnvironmentVariableW(v.name, v.present ? v.value.c_str() : nullptr);
  }
  void PointTempAt(const std::wstring& dir) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", dir.c_str()));
    ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", dir.c_str()));
    ASSERT_EQ(0, _wcsnicmp(UserTemp().c_str(), dir.c_str(), dir.size())) << UserTemp();
  }

  struct {
    const wchar_t* name;
    bool present;
    std::wstring value;
  } saved_[2] = {{L"TMP", false, {}}, {L"TEMP", false, {}}};
  ScratchDir scratch_{UserTemp()};
};

TEST_F(RealEnvironmentTest, ThisPrefixPasses) { EXPECT_EQ(kEnvOk, CheckEnvironment()); }

TEST_F(RealEnvironmentTest, ProbeLeavesNothingBehind) {
  PointTempAt(scratch_.path());
  EXPECT_EQ(kEnvOk, CheckEnvironment());
  EXPECT_TRUE(IsEmptyDir(scratch_.path()));
}

TEST_F(RealEnvironmentTest, MissingTempDirectoryPassesAndOnlyCreatedLevelsGo) {
  PointTempAt(scratch_.path() + L"\\new\\deeper");
  EXPECT_EQ(kEnvOk, CheckEnvironment());
  EXPECT_TRUE(Exists(scratch_.path()));
  EXPECT_FALSE(Exists(scratch_.path() + L"\\new"));
}

TEST_F(RealEnvironmentTest, UncTempDirectoryFails) {
  PointTempAt(L"\\\\server\\share\\temp");
  EXPECT_EQ(kEnvTempNotWritable, CheckEnvironment());
}

// Administrators for deny only, as under User Account Control without
// elevation.
TEST_F(RealEnvironmentTest, FilteredTokenIsNotAdministrator) {
  base::ScopedHandle process_token, filtered, impersonation;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(),
                               TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY,
                               process_token.Receive()));
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                       DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins));
  SID_AND_ATTRIBUTES deny_only = {admins, 0};
  BOOL made = CreateRestrictedToken(process_token.Get(), 0, 1, &deny_only, 0, nullptr, 0,
                                    nullptr, filtered.Receive());
  FreeSid(admins);
  ASSERT_TRUE(made) << GetLastError();
  ASSERT_TRUE(DuplicateTokenEx(filtered.Get(), TOKEN_IMPERSONATE | TOKEN_QUERY, nullptr,
                               SecurityImpersonation, TokenImpersonation,
                               impersonation.Receive()));
  ASSERT_TRUE(SetThreadToken(nullptr, impersonation.Get())) << GetLastError();
  int result = CheckEnvironment();
  RevertToSelf();
  EXPECT_EQ(kEnvNotAdmin, result);
  EXPECT_EQ(kEnvOk, CheckEnvironment());
}

}  // namespace
}  // namespace engine
