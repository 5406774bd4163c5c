#include "package/resource_unpack.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "package/file_manager.h"
#include "package/sevenzip_library.h"
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

class CabinetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(package::NewTempPath(&outer_));
    ASSERT_TRUE(CreateDirectoryW(outer_.c_str(), nullptr));
    dest_ = outer_ + L"\\dest";
    ASSERT_TRUE(CreateDirectoryW(dest_.c_str(), nullptr));
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
  for (const wchar_t* cab : {L"dotdot.cab", L"absolute.cab", L"drive.cab", L"stream.cab"}) {
    EXPECT_FALSE(package::ExpandCabinet(Cab(cab), dest_)) << cab;
    EXPECT_EQ(GetFileAttributesW((outer_ + L"\\evil.txt").c_str()), INVALID_FILE_ATTRIBUTES) << cab;
    EXPECT_EQ(GetFileAttributesW((dest_ + L"\\a.txt").c_str()), INVALID_FILE_ATTRIBUTES) << cab;
  }
  EXPECT_EQ(GetFileAttributesW(L"C:\\evil.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(L"\\evil.txt"), INVALID_FILE_ATTRIBUTES);
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
  package::DeleteTree(dir);

  package::CResourceUnpack archive;
  ASSERT_TRUE(archive.Load(self, 103, L"TEST7Z"));
  ASSERT_TRUE(archive.Unpack(&dir, package::CResourceUnpack::kSevenZip));
  EXPECT_EQ(ReadText(dir + L"\\readme.txt"), "Pelorix test archive\r\n");
  package::DeleteTree(dir);
}

int CountTempEntries() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((std::wstring(temp) + L"{*}.tmp").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int n = 0;
  do ++n; while (FindNextFileW(h, &fd));
  FindClose(h);
  return n;
}

TEST(ResourceUnpack, FailuresLeaveNoDirectory) {
  ASSERT_TRUE(package::Load7zLibrary((ExeDir() + L"7z.dll").c_str()));
  HMODULE self = GetModuleHandleW(nullptr);
  const int before = CountTempEntries();
  package::CResourceUnpack missing;
  EXPECT_FALSE(missing.Load(self, 999, L"TESTCAB"));
  std::wstring dir = L"unchanged";
  EXPECT_FALSE(missing.Unpack(&dir, package::CResourceUnpack::kCabinet));
  EXPECT_EQ(dir, L"unchanged");

  package::CResourceUnpack hostile;
  ASSERT_TRUE(hostile.Load(self, 102, L"TESTCAB"));
  EXPECT_FALSE(hostile.Unpack(&dir, package::CResourceUnpack::kCabinet));
  package::CResourceUnpack broken;
  ASSERT_TRUE(broken.Load(self, 104, L"TEST7Z"));
  EXPECT_FALSE(broken.Unpack(&dir, package::CResourceUnpack::kSevenZip));
  EXPECT_EQ(dir, L"unchanged");
  // Neither the temporary archive files nor the directories stay behind.
  EXPECT_EQ(CountTempEntries(), before);
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
