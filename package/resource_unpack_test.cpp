#include "package/resource_unpack.h"
#include "package/link_test_util.h"

#include <shlobj.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "package/file_manager.h"
#include "package/sevenzip_library.h"
#include "package/stored_access_test_util.h"
#include "package/temp_workspace.h"

namespace {

std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::string ReadText(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool PlantDirectoryLink(const std::wstring& link, const std::wstring& target) {
  return link_test::MakeLink(target, link);
}

class CabinetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(package::NewTempPath(&outer_));
    ASSERT_TRUE(CreateDirectoryW(outer_.c_str(), nullptr));
    dest_ = outer_ + L"\\dest";  // made by the expansion itself
  }
  void TearDown() override { package::DeleteTree(outer_); }
  std::wstring Cab(const wchar_t* name) { return ExeDir() + L"package_testdata\\" + name; }
  std::wstring outer_, dest_;
};

TEST_F(CabinetTest, ExpandsMembersWithTheirDirectories) {
  ASSERT_TRUE(package::ExpandCabinet(Cab(L"normal.cab"), dest_));
  EXPECT_EQ(ReadText(dest_ + L"\\7z.dll"), "library bytes\n");
  EXPECT_EQ(ReadText(dest_ + L"\\sub\\nested.txt"), "nested\n");
}

TEST_F(CabinetTest, HostileMemberNamesAbortTheWholeCabinet) {
  // "C:evil.txt" names the current directory of drive C: make that one known.
  wchar_t previous[MAX_PATH];
  ASSERT_TRUE(GetCurrentDirectoryW(MAX_PATH, previous));
  ASSERT_TRUE(SetCurrentDirectoryW(outer_.c_str()));
  wchar_t drive_relative[MAX_PATH];
  ASSERT_TRUE(GetFullPathNameW(L"C:evil.txt", MAX_PATH, drive_relative, nullptr));
  for (const wchar_t* cab : {L"dotdot.cab", L"absolute.cab", L"drive.cab", L"stream.cab"}) {
    EXPECT_FALSE(package::ExpandCabinet(Cab(cab), dest_)) << cab;
    EXPECT_FALSE(Exists(drive_relative)) << cab;
    EXPECT_FALSE(Exists(outer_ + L"\\evil.txt")) << cab;
    EXPECT_FALSE(Exists(dest_)) << cab;  // a refused expansion leaves nothing
  }
  SetCurrentDirectoryW(previous);
  EXPECT_FALSE(Exists(L"C:\\evil.txt"));
  EXPECT_FALSE(Exists(L"\\evil.txt"));
}

TEST_F(CabinetTest, ExistingDestinationIsNeverUsed) {
  ASSERT_TRUE(CreateDirectoryW(dest_.c_str(), nullptr));
  EXPECT_FALSE(package::ExpandCabinet(Cab(L"normal.cab"), dest_));
  EXPECT_FALSE(Exists(dest_ + L"\\7z.dll"));
  EXPECT_TRUE(Exists(dest_));  // someone else's: left as it was
}

std::wstring g_link_target;

void PlantSubLink(const std::wstring& destination) {
  EXPECT_TRUE(PlantDirectoryLink(destination + L"\\sub", g_link_target));
}

TEST_F(CabinetTest, NoMemberIsWrittenThroughALink) {
  g_link_target = outer_ + L"\\elsewhere";
  ASSERT_TRUE(CreateDirectoryW(g_link_target.c_str(), nullptr));
  const std::wstring kept = g_link_target + L"\\kept.txt";
  std::ofstream(kept.c_str()) << "kept";
  auto previous = package::SetCabinetDestinationHookForTesting(&PlantSubLink);
  const bool expanded = package::ExpandCabinet(Cab(L"normal.cab"), dest_);
  package::SetCabinetDestinationHookForTesting(previous);
  EXPECT_FALSE(expanded);
  EXPECT_FALSE(Exists(g_link_target + L"\\nested.txt"));
  EXPECT_EQ(ReadText(kept), "kept");  // the clean-up never walked into the link
}

TEST_F(CabinetTest, MissingOrBrokenCabinetFails) {
  EXPECT_FALSE(package::ExpandCabinet(Cab(L"no_such.cab"), dest_));
  EXPECT_FALSE(package::ExpandCabinet(Cab(L"not_an_archive.7z"), dest_));
}

TEST(ResourceUnpack, CabinetAndSevenZipResources) {
  ASSERT_TRUE(package::Load7zLibrary((ExeDir() + L"7z.dll").c_str()));
  HMODULE self = GetModuleHandleW(nullptr);
  package::CResourceUnpack cab;
  ASSERT_TRUE(cab.Load(self, 101, L"TESTCAB"));
  std::wstring dir;
  ASSERT_TRUE(cab.Unpack(&dir, package::CResourceUnpack::kCabinet));
  EXPECT_EQ(ReadText(dir + L"\\7z.dll"), "library bytes\n");
  // Loaded and deleted at restart by the elevated setup: only in a directory
  // of its own that nobody else can change.
  wchar_t common[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_APPDATA, FALSE));
  EXPECT_EQ(dir.rfind(std::wstring(common) + L"\\{", 0), 0u) << dir;
  EXPECT_FALSE(GrantsOthers(dir, ~0u)) << dir;
  package::DeleteTree(dir);

  package::CResourceUnpack archive;
  ASSERT_TRUE(archive.Load(self, 103, L"TEST7Z"));
  ASSERT_TRUE(archive.Unpack(&dir, package::CResourceUnpack::kSevenZip));
  EXPECT_EQ(ReadText(dir + L"\\readme.txt"), "Pelorix test archive\r\n");
  package::DeleteTree(dir);
}

int CountEntries(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do n += wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."); while (FindNextFileW(h, &fd));
  FindClose(h);
  return n;
}

TEST(ResourceUnpack, FailuresLeaveNoDirectory) {
  ASSERT_TRUE(package::Load7zLibrary((ExeDir() + L"7z.dll").c_str()));
  HMODULE self = GetModuleHandleW(nullptr);
  std::wstring base;
  ASSERT_TRUE(package::NewTempPath(&base));
  ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
  package::CResourceUnpack missing;
  EXPECT_FALSE(missing.Load(self, 999, L"TESTCAB"));
  std::wstring dir = L"unchanged";
  EXPECT_FALSE(missing.Unpack(&dir, package::CResourceUnpack::kCabinet));
  EXPECT_EQ(dir, L"unchanged");

  package::CResourceUnpack hostile;
  ASSERT_TRUE(hostile.Load(self, 102, L"TESTCAB"));
  hostile.SetBaseForTesting(base);
  EXPECT_FALSE(hostile.Unpack(&dir, package::CResourceUnpack::kCabinet));
  package::CResourceUnpack broken;
  ASSERT_TRUE(broken.Load(self, 104, L"TEST7Z"));
  broken.SetBaseForTesting(base);
  EXPECT_FALSE(broken.Unpack(&dir, package::CResourceUnpack::kSevenZip));
  EXPECT_EQ(dir, L"unchanged");
  // Neither the temporary archive files nor the directories stay behind.
  EXPECT_EQ(CountEntries(base), 0);
  // A success leaves the expanded directory alone.
  package::CResourceUnpack cab;
  ASSERT_TRUE(cab.Load(self, 101, L"TESTCAB"));
  cab.SetBaseForTesting(base);
  ASSERT_TRUE(cab.Unpack(&dir, package::CResourceUnpack::kCabinet));
  EXPECT_EQ(CountEntries(base), 1);
  EXPECT_EQ(dir.rfind(base + L"\\{", 0), 0u) << dir;
  package::DeleteTree(base);
}

TEST(FileManagerInit, RecordResourceMustBeExactly24FilledBytes) {
  HMODULE self = GetModuleHandleW(nullptr);
  EXPECT_EQ(SizeofResource(self, FindResourceW(self, MAKEINTRESOURCEW(216), L"SETUPDATA")), 23u);
  EXPECT_EQ(SizeofResource(self, FindResourceW(self, MAKEINTRESOURCEW(217), L"SETUPDATA")), 25u);
  struct Case {
    UINT id;
    const wchar_t* type;
    bool ok;
  } cases[] = {{215, L"SETUPDATA", false},  // unfilled 0xCC record
               {216, L"SETUPDATA", false},  // 23 bytes
               {217, L"SETUPDATA", false},  // 25 bytes
               {218, L"SETUPDATA", true},   // 16 bytes at offset 0 of this program
               {218, nullptr, false},
               {0, L"SETUPDATA", false},
               {299, L"SETUPDATA", false}};
  for (const Case& c : cases) {
    package::CFileManager* m = package::CreateFileManager();
    EXPECT_EQ(m->Init(self, c.id, c.type), c.ok) << c.id;
    m->Release();
  }
}

}  // namespace
