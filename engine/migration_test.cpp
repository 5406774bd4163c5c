// Writes HKLM "SOFTWARE\Varnock" and "SOFTWARE\Corvale" and the user's
// application data folder: a throw-away prefix. The whole program runs once
// more in a 64-bit prefix, where the 32-bit view is a separate key.
#include "engine/migration.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "base/os_version.h"
#include "base/registry.h"
#include "engine/placement_test_support.h"
#include "package/link_test_util.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

using testing_support::ReadText;
using testing_support::ScopedTempDir;
using testing_support::WriteText;

constexpr const char kMissing[] = "<missing>";

std::wstring AppData() {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteFileAt(const std::wstring& path, const std::string& text) {
  return package::CreateDirectories(path.substr(0, path.find_last_of(L'\\')), nullptr) && WriteText(path, text);
}

bool WriteSetupPath(const wchar_t* key, const std::wstring& value, REGSAM view = KEY_WOW64_32KEY) {
  return base::RegWriteString(HKEY_LOCAL_MACHINE, key, L"Setup Path", value, false, view);
}

bool WriteRawSetupPath(const wchar_t* key, DWORD type, const void* data, DWORD size) {
  base::ScopedRegKey k;
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                         k.Receive(), nullptr) == ERROR_SUCCESS &&
         RegSetValueExW(k.Get(), L"Setup Path", 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

// Starts and ends with no earlier edition on record and no migrated data.
class Migration : public ::testing::Test {
 protected:
  void SetUp() override {
    app_data_ = AppData();
    ASSERT_FALSE(app_data_.empty());
    ASSERT_TRUE(root_.IsValid());
    Clean();
  }
  void TearDown() override { Clean(); }

  void Clean() {
    for (const wchar_t* folder : {L"\\varnock", L"\\corvale", L"\\Pelorix"}) {
      package::DeleteTree(app_data_ + folder);
    }
    for (const wchar_t* key : {L"SOFTWARE\\Varnock", L"SOFTWARE\\Corvale"}) {
      base::RegRemoveTree(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY);
      base::RegRemoveTree(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY);
    }
  }

  // An install directory with its program folder.
  std::wstring MakeInstall(const wchar_t* name) {
    const std::wstring dir = root_.Child(name);
    EXPECT_TRUE(package::CreateDirectories(ProgramFolderOf(dir), nullptr));
    return dir;
  }

  // Writes every configuration file into the install's program folder, its
  // content "<tag> <file name>".
  void WriteConfiguration(const std::wstring& install_dir, const std::string& tag) {
    for (const wchar_t* name : kMigratedFiles) {
      const std::wstring wide(name);
      ASSERT_TRUE(WriteText(ProgramFolderOf(install_dir) + name, tag + " " + std::string(wide.begin(), wide.end())));
    }
  }

  std::string NewConfig(const std::wstring& install_dir, const wchar_t* name) {
    return ReadText(ProgramFolderOf(install_dir) + name);
  }

  std::wstring NewData(const wchar_t* relative) { return app_data_ + L"\\Pelorix\\pelorix\\" + relative; }

  std::wstring app_data_;
  ScopedTempDir root_;
};

TEST(MigrationSource, NamesCompareWithoutCase) {
  const struct {
    const wchar_t* name;
    MigrationSource expected;
  } cases[] = {
      {L"corvale", MigrationSource::kCorvale}, {L"CorVale", MigrationSource::kCorvale},
      {L"CORVALE", MigrationSource::kCorvale}, {L"varnock", MigrationSource::kVarnock},
      {L"VARNOCK", MigrationSource::kVarnock}, {L"", MigrationSource::kVarnock},
      {L"other", MigrationSource::kVarnock},   {L"corvale ", MigrationSource::kVarnock},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ParseMigrationSource(c.name)) << c.name;
  EXPECT_STREQ(L"SOFTWARE\\Corvale", EarlierProductKey(MigrationSource::kCorvale));
  EXPECT_STREQ(L"SOFTWARE\\Varnock", EarlierProductKey(MigrationSource::kVarnock));
  EXPECT_STREQ(L"\\corvale\\pelorix", EarlierDataFolder(MigrationSource::kCorvale));
  EXPECT_STREQ(L"\\varnock\\pelorix", EarlierDataFolder(MigrationSource::kVarnock));
}

TEST(MigrationProgramFolder, BackslashAddedOnlyWhenMissing) {
  EXPECT_EQ(L"C:\\Old\\nexhub\\pelorix\\", ProgramFolderOf(L"C:\\Old"));
  EXPECT_EQ(L"C:\\Old\\nexhub\\pelorix\\", ProgramFolderOf(L"C:\\Old\\"));
  EXPECT_EQ(L"C:\\Old/nexhub\\pelorix\\", ProgramFolderOf(L"C:\\Old/"));
}

TEST_F(Migration, CopyTreeCopiesFilesAndSubfoldersOverwriting) {
  const std::wstring source = root_.Child(L"src");
  const std::wstring destination = root_.Child(L"dst\\inner");  // its parent does not exist yet
  ASSERT_TRUE(WriteFileAt(source + L"\\a.txt", "a"));
  ASSERT_TRUE(WriteFileAt(source + L"\\sub\\b.txt", "b"));
  ASSERT_TRUE(WriteFileAt(source + L"\\sub\\deeper\\c.txt", "c"));
  ASSERT_TRUE(package::CreateDirectories(source + L"\\empty", nullptr));

  EXPECT_FALSE(CopyTree(source, destination));  // the destination's parent is missing
  ASSERT_TRUE(package::CreateDirectories(destination, nullptr));
  ASSERT_TRUE(WriteFileAt(destination + L"\\a.txt", "old a"));
  ASSERT_TRUE(WriteFileAt(destination + L"\\only_here.txt", "mine"));

  EXPECT_TRUE(CopyTree(source, destination));
  EXPECT_EQ("a", ReadText(destination + L"\\a.txt"));
  EXPECT_EQ("b", ReadText(destination + L"\\sub\\b.txt"));
  EXPECT_EQ("c", ReadText(destination + L"\\sub\\deeper\\c.txt"));
  EXPECT_TRUE(Exists(destination + L"\\empty"));
  EXPECT_EQ("mine", ReadText(destination + L"\\only_here.txt"));
  EXPECT_EQ("a", ReadText(source + L"\\a.txt"));  // the source is left as it was
}

TEST_F(Migration, CopyTreeOfAMissingSourceCopiesNothing) {
  const std::wstring destination = root_.Child(L"dst");
  EXPECT_FALSE(CopyTree(root_.Child(L"nothing"), destination));
  EXPECT_TRUE(Exists(destination));
}

TEST_F(Migration, CopyTreeStopsWhenASubfolderCannotBeMade) {
  const std::wstring source = root_.Child(L"src");
  const std::wstring destination = root_.Child(L"dst");
  ASSERT_TRUE(WriteFileAt(source + L"\\sub\\b.txt", "b"));
  ASSERT_TRUE(WriteFileAt(destination + L"\\sub", "a file where the folder should go"));
  EXPECT_FALSE(CopyTree(source, destination));
}

// The profile is the user's: links there, in what is copied or where it
// goes, are never followed by the elevated copy.
TEST_F(Migration, LinksInTheProfileAreNeverFollowed) {
  const std::wstring outside = root_.Child(L"outside");
  ASSERT_TRUE(WriteFileAt(outside + L"\\canary.txt", "not the user's"));
  const std::wstring old_data = app_data_ + L"\\varnock\\pelorix";
  ASSERT_TRUE(WriteFileAt(old_data + L"\\user.cfg", "user"));
  ASSERT_TRUE(link_test::MakeLink(outside, old_data + L"\\linked_dir"));
  // (A link to a file shows under Wine as the file itself, so only links to
  // folders can be made here; the copy passes file links over the same way.)
  const std::wstring new_dir = MakeInstall(L"new");

  MigratePrevious(L"varnock", L"", new_dir);
  EXPECT_EQ(ReadText(NewData(L"user.cfg")), "user");
  EXPECT_FALSE(Exists(NewData(L"linked_dir")));

  // The destination's folder turned into a link to somewhere else.
  const std::wstring elsewhere = root_.Child(L"elsewhere");
  ASSERT_TRUE(package::CreateDirectories(elsewhere, nullptr));
  package::DeleteTree(app_data_ + L"\\Pelorix");
  ASSERT_TRUE(link_test::MakeLink(elsewhere, app_data_ + L"\\Pelorix"));
  MigratePrevious(L"varnock", L"", new_dir);
  EXPECT_FALSE(Exists(elsewhere + L"\\pelorix")) << "the copy went through the link";
  EXPECT_EQ(ReadText(outside + L"\\canary.txt"), "not the user's");
  EXPECT_TRUE(link_test::RemoveLink(app_data_ + L"\\Pelorix"));
  EXPECT_TRUE(link_test::RemoveLink(old_data + L"\\linked_dir"));
}

TEST_F(Migration, VarnockDataAndConfigurationByDefault) {
  ASSERT_TRUE(WriteFileAt(app_data_ + L"\\varnock\\pelorix\\user.cfg", "varnock user"));
  ASSERT_TRUE(WriteFileAt(app_data_ + L"\\varnock\\pelorix\\cache\\list.dat", "varnock cache"));
  ASSERT_TRUE(WriteFileAt(app_data_ + L"\\corvale\\pelorix\\user.cfg", "corvale user"));
  const std::wstring old_dir = MakeInstall(L"old");
  const std::wstring corvale_dir = MakeInstall(L"corvale");
  const std::wstring new_dir = MakeInstall(L"new");
  WriteConfiguration(old_dir, "old");
  WriteConfiguration(corvale_dir, "corvale");
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Varnock", old_dir));
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Corvale", corvale_dir));
  ASSERT_TRUE(WriteText(ProgramFolderOf(new_dir) + L"po.db", "new po.db"));
  ASSERT_TRUE(WriteText(ProgramFolderOf(new_dir) + L"other.dat", "untouched"));

  for (const wchar_t* name : {L"", L"varnock", L"VarNock", L"something"}) {
    MigratePrevious(name, L"", new_dir);
    EXPECT_EQ("varnock user", ReadText(NewData(L"user.cfg"))) << name;
    EXPECT_EQ("varnock cache", ReadText(NewData(L"cache\\list.dat"))) << name;
    EXPECT_EQ("old pelx.set", NewConfig(new_dir, L"pelx.set")) << name;
    EXPECT_EQ("old pelorix.set", NewConfig(new_dir, L"pelorix.set")) << name;
    EXPECT_EQ("old po.db", NewConfig(new_dir, L"po.db")) << name;  // overwritten
    EXPECT_EQ("old skip_list", NewConfig(new_dir, L"skip_list")) << name;
    EXPECT_EQ("old white.conf", NewConfig(new_dir, L"white.conf")) << name;
    EXPECT_EQ("untouched", NewConfig(new_dir, L"other.dat")) << name;
    Clean();
    ASSERT_TRUE(WriteFileAt(app_data_ + L"\\varnock\\pelorix\\user.cfg", "varnock user"));
    ASSERT_TRUE(WriteFileAt(app_data_ + L"\\varnock\\pelorix\\cache\\list.dat", "varnock cache"));
    ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Varnock", old_dir));
    ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Corvale", corvale_dir));
  }
}

TEST_F(Migration, CorvaleDataAndConfiguration) {
  ASSERT_TRUE(WriteFileAt(app_data_ + L"\\varnock\\pelorix\\user.cfg", "varnock user"));
  ASSERT_TRUE(WriteFileAt(app_data_ + L"\\corvale\\pelorix\\user.cfg", "corvale user"));
  const std::wstring old_dir = MakeInstall(L"old");
  const std::wstring corvale_dir = MakeInstall(L"corvale");
  const std::wstring new_dir = MakeInstall(L"new");
  WriteConfiguration(old_dir, "old");
  WriteConfiguration(corvale_dir, "corvale");
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Varnock", old_dir));
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Corvale", corvale_dir + L"\\"));

  MigratePrevious(L"CORVALE", L"", new_dir);
  EXPECT_EQ("corvale user", ReadText(NewData(L"user.cfg")));
  for (const wchar_t* name : kMigratedFiles) {
    const std::wstring wide(name);
    EXPECT_EQ("corvale " + std::string(wide.begin(), wide.end()), NewConfig(new_dir, name));
  }
}

TEST_F(Migration, RegisteredDirectoryWinsOverTheCommandLine) {
  const std::wstring registered = MakeInstall(L"registered");
  const std::wstring given = MakeInstall(L"given");
  const std::wstring new_dir = MakeInstall(L"new");
  WriteConfiguration(registered, "registered");
  WriteConfiguration(given, "given");
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Varnock", registered));

  EXPECT_EQ(registered, EarlierInstallDir(MigrationSource::kVarnock, given));
  MigratePrevious(L"varnock", given, new_dir);
  EXPECT_EQ("registered pelx.set", NewConfig(new_dir, L"pelx.set"));
}

TEST_F(Migration, CommandLineDirectoryWhenNoneIsRegistered) {
  const std::wstring given = MakeInstall(L"given");
  const std::wstring new_dir = MakeInstall(L"new");
  WriteConfiguration(given, "given");
  EXPECT_EQ(L"", EarlierInstallDir(MigrationSource::kVarnock, L""));
  EXPECT_EQ(given, EarlierInstallDir(MigrationSource::kVarnock, given));

  MigratePrevious(L"varnock", given, new_dir);
  EXPECT_EQ("given white.conf", NewConfig(new_dir, L"white.conf"));
  // Nothing to carry over from the application data: the new folder is made anyway.
  EXPECT_TRUE(Exists(app_data_ + L"\\Pelorix\\pelorix"));
}

// Another type, an over-long value or an empty one is no directory.
TEST_F(Migration, UnusableRegisteredValuesCountAsAbsent) {
  const std::wstring given = root_.Child(L"given");
  const std::wstring expand = L"C:\\expand";
  ASSERT_TRUE(WriteRawSetupPath(L"SOFTWARE\\Varnock", REG_EXPAND_SZ, expand.c_str(),
                                static_cast<DWORD>((expand.size() + 1) * sizeof(wchar_t))));
  EXPECT_EQ(given, EarlierInstallDir(MigrationSource::kVarnock, given));

  const DWORD number = 7;
  ASSERT_TRUE(WriteRawSetupPath(L"SOFTWARE\\Varnock", REG_DWORD, &number, sizeof(number)));
  EXPECT_EQ(given, EarlierInstallDir(MigrationSource::kVarnock, given));

  // 1023 characters: 2046 bytes, or 2048 with the terminator stored.
  const std::wstring longest = L"C:\\" + std::wstring(kSetupPathMaxBytes / sizeof(wchar_t) - 4, L'x');
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Varnock", longest));
  EXPECT_EQ(longest, EarlierInstallDir(MigrationSource::kVarnock, given));
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnock", L"Setup Path", longest, true,
                                   KEY_WOW64_32KEY));
  EXPECT_EQ(longest, EarlierInstallDir(MigrationSource::kVarnock, given));
  // 2050 bytes, with the terminator and without.
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Varnock", L"Setup Path", longest + L"y", true,
                                   KEY_WOW64_32KEY));
  EXPECT_EQ(given, EarlierInstallDir(MigrationSource::kVarnock, given));
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Varnock", longest + L"yz"));
  EXPECT_EQ(given, EarlierInstallDir(MigrationSource::kVarnock, given));

  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Varnock", L""));
  EXPECT_EQ(given, EarlierInstallDir(MigrationSource::kVarnock, given));
}

TEST_F(Migration, NoEarlierProgramFolderCopiesNoConfiguration) {
  const std::wstring new_dir = MakeInstall(L"new");
  const std::wstring bare = root_.Child(L"bare");  // no nexhub\pelorix below it
  ASSERT_TRUE(WriteFileAt(bare + L"\\pelx.set", "wrong level"));
  MigratePrevious(L"varnock", bare, new_dir);
  EXPECT_EQ(kMissing, NewConfig(new_dir, L"pelx.set"));
}

TEST_F(Migration, NoNewProgramFolderCopiesNoConfiguration) {
  const std::wstring old_dir = MakeInstall(L"old");
  WriteConfiguration(old_dir, "old");
  const std::wstring new_dir = root_.Child(L"new");
  ASSERT_TRUE(CreateDirectoryW(new_dir.c_str(), nullptr));
  MigratePrevious(L"varnock", old_dir, new_dir);
  EXPECT_FALSE(Exists(ProgramFolderOf(new_dir)));
}

TEST_F(Migration, MissingConfigurationFilesAreSkipped) {
  const std::wstring old_dir = MakeInstall(L"old");
  const std::wstring new_dir = MakeInstall(L"new");
  ASSERT_TRUE(WriteText(ProgramFolderOf(old_dir) + L"white.conf", "old white"));
  ASSERT_TRUE(WriteText(ProgramFolderOf(new_dir) + L"pelx.set", "new pelx"));
  MigratePrevious(L"varnock", old_dir, new_dir);
  EXPECT_EQ("old white", NewConfig(new_dir, L"white.conf"));  // after the missing ones
  EXPECT_EQ("new pelx", NewConfig(new_dir, L"pelx.set"));
  EXPECT_EQ(kMissing, NewConfig(new_dir, L"po.db"));
}

// The earlier install may have been writable by users; a copy over an
// existing file keeps that file's list. Each copied file is reset in place.
TEST_F(Migration, CopiedConfigurationTakesTheNewDirectorysList) {
  const std::wstring old_dir = MakeInstall(L"old");
  const std::wstring new_dir = MakeInstall(L"new");
  WriteConfiguration(old_dir, "old");
  ASSERT_TRUE(DeleteFileW((ProgramFolderOf(old_dir) + L"skip_list").c_str()));
  ASSERT_TRUE(WriteText(ProgramFolderOf(new_dir) + L"po.db", "new po.db"));
  testing_support::CRecordingFileSecurity security;
  MigratePrevious(L"varnock", old_dir, new_dir, &security);
  for (const wchar_t* name : kMigratedFiles) {
    const std::wstring wide(name);
    const bool copied = wide != L"skip_list";
    EXPECT_EQ(copied, security.WasReset(ProgramFolderOf(new_dir) + name, "old " + std::string(wide.begin(), wide.end())))
        << name;
  }
  EXPECT_EQ(4u, security.resets.size());
}

// An upgrade in place names the same folder twice; its files stay whole.
TEST_F(Migration, SameInstallDirectoryKeepsItsFiles) {
  const std::wstring dir = MakeInstall(L"same");
  WriteConfiguration(dir, "kept");
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Varnock", dir));
  MigratePrevious(L"varnock", L"", dir + L"\\");
  EXPECT_EQ("kept po.db", NewConfig(dir, L"po.db"));
  EXPECT_EQ("kept white.conf", NewConfig(dir, L"white.conf"));
}

// Earlier editions were 32-bit: their key is in the 32-bit view, which on
// 64-bit Windows is Wow6432Node. A value in the 64-bit view is not theirs.
TEST_F(Migration, ReadsThe32BitView) {
  if (GetEnvironmentVariableW(L"PELORIX_EXPECT_WOW64", nullptr, 0) > 0) {
    ASSERT_TRUE(base::Is64BitSystem()) << "meant to run in a 64-bit prefix";
  }
  const std::wstring given = root_.Child(L"given");
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Corvale", L"C:\\thirty-two", KEY_WOW64_32KEY));
  EXPECT_EQ(L"C:\\thirty-two", EarlierInstallDir(MigrationSource::kCorvale, given));
  if (!base::Is64BitSystem()) return;
  std::wstring stored;
  EXPECT_TRUE(base::RegReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\Corvale", L"Setup Path", &stored,
                                  0, KEY_WOW64_64KEY));
  EXPECT_EQ(L"C:\\thirty-two", stored);
  base::RegRemoveTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Corvale", KEY_WOW64_32KEY);
  ASSERT_TRUE(WriteSetupPath(L"SOFTWARE\\Corvale", L"C:\\sixty-four", KEY_WOW64_64KEY));
  EXPECT_EQ(given, EarlierInstallDir(MigrationSource::kCorvale, given));
}

}  // namespace
}  // namespace engine
