#include "package/temp_workspace.h"
#include "package/link_test_util.h"
#include "package/pending_test_util.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "base/string_conv.h"

namespace package {
namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteFileText(const std::wstring& path, const char* text) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file.IsValid()) << GetLastError();
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(file.Get(), text, static_cast<DWORD>(strlen(text)), &done, nullptr));
}

base::ScopedHandle HoldOpen(const std::wstring& path, DWORD share) {
  return base::ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

using pending_test::ReadPending;

bool PendingMentions(const std::wstring& path) {
  std::vector<BYTE> data;
  if (!ReadPending(&data)) return false;
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
  std::wstring needle = path;
  // Every entry, not only the first: the list is NUL-separated.
  CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  CharUpperBuffW(&needle[0], static_cast<DWORD>(needle.size()));
  return text.find(needle) != std::wstring::npos;
}

using link_test::IsLinkPath;
using link_test::RunUnixTool;

bool MakeDirectoryLink(const std::wstring& target, const std::wstring& link) {
  return link_test::MakeLink(target, link);
}

// A fresh directory under the user's temp folder, removed with its content
// afterwards; the restart queue is put back as it was.
class TempWorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
    ASSERT_TRUE(NewTempPathIn(temp, nullptr, &root_));
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
  }
  void TearDown() override {
    SetGuidGeneratorForTesting(nullptr);
    handles_.clear();
    for (const auto& p : moved_) {
      SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(p.c_str());
    }
    DeleteTree(root_);
  }
  std::wstring Path(const wchar_t* relative) const { return root_ + L"\\" + relative; }

  pending_test::ScopedPendingRenames pending_;  // put back last, after the files
  std::wstring root_;
  std::vector<base::ScopedHandle> handles_;
  std::vector<std::wstring> moved_;
};

// Hands out GUIDs 1, 2, 3, ... so that tests know every name in advance.
int g_next_guid = 0;
int g_guid_calls = 0;
HRESULT WINAPI CountingGuid(GUID* guid) {
  ++g_guid_calls;
  *guid = GUID{static_cast<unsigned long>(++g_next_guid), 0xABCD, 0xBEEF,
               {0xDE, 0xAD, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}};
  return S_OK;
}
std::wstring CountingName(int n) {
  wchar_t text[64];
  swprintf(text, 64, L"{%08X-ABCD-beef-DEAD-010203040506}.tmp", n);
  return text;
}

TEST_F(TempWorkspaceTest, GuidTextHasFixedForm) {
  std::wstring text;
  ASSERT_TRUE(NewGuidText(&text));
  std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
  EXPECT_TRUE(std::regex_match(base::WideToUtf8(text), form)) << base::WideToUtf8(text);

  SetGuidGeneratorForTesting(CountingGuid);
  g_next_guid = 0x1A2B3C3F;
  ASSERT_TRUE(NewGuidText(&text));
  EXPECT_EQ(text, L"{1A2B3C40-ABCD-beef-DEAD-010203040506}");
}

TEST_F(TempWorkspaceTest, TempPathIsFreshAndNothingIsCreated) {
  std::wstring path;
  ASSERT_TRUE(NewTempPath(&path));
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  EXPECT_EQ(path.rfind(temp, 0), 0u) << base::WideToUtf8(path);
  std::regex form(".*\\\\\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9a-f]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}\\.tmp");
  EXPECT_TRUE(std::regex_match(base::WideToUtf8(path), form)) << base::WideToUtf8(path);
  EXPECT_FALSE(Exists(path));

  ASSERT_TRUE(NewTempPathIn(root_ + L"\\", L"sub\\dir", &path));
  EXPECT_EQ(path.rfind(root_ + L"\\sub\\dir\\{", 0), 0u) << base::WideToUtf8(path);
  EXPECT_FALSE(Exists(Path(L"sub")));
}

TEST_F(TempWorkspaceTest, TakenNamesAreSkippedUpToTenTries) {
  SetGuidGeneratorForTesting(CountingGuid);
  for (int n = 1; n <= 9; ++n) WriteFileText(Path(CountingName(n).c_str()), "x");
  g_next_guid = 0;
  g_guid_calls = 0;
  std::wstring path;
  ASSERT_TRUE(NewTempPathIn(root_, nullptr, &path));
  EXPECT_EQ(path, Path(CountingName(10).c_str()));
  EXPECT_EQ(g_guid_calls, 10);

  // A directory of the same name counts as taken too.
  ASSERT_TRUE(CreateDirectoryW(Path(CountingName(10).c_str()).c_str(), nullptr));
  g_next_guid = 0;
  g_guid_calls = 0;
  EXPECT_FALSE(NewTempPathIn(root_, nullptr, &path));
  EXPECT_EQ(g_guid_calls, 10);
}

TEST_F(TempWorkspaceTest, TempPathRefusesOverlongDirectory) {
  std::wstring path;
  EXPECT_FALSE(NewTempPathIn(std::wstring(261, L'a'), nullptr, &path));
  EXPECT_FALSE(NewTempPathIn(L"", nullptr, &path));
}

TEST_F(TempWorkspaceTest, ProbeLeavesNothingBehind) {
  DWORD error = 12345;
  EXPECT_TRUE(ProbeWritable(root_, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));

  std::wstring deep = Path(L"a\\b\\c");
  EXPECT_TRUE(ProbeWritable(deep, &error));
  EXPECT_FALSE(Exists(Path(L"a")));

  // Nothing at all may be left in the directory under test.
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Path(L"*").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  int entries = 0;
  do ++entries; while (FindNextFileW(find, &data));
  FindClose(find);
  EXPECT_EQ(entries, 2);  // "." and ".."
}

TEST_F(TempWorkspaceTest, ProbeFailsUnderAFile) {
  WriteFileText(Path(L"file"), "x");
  DWORD error = ERROR_SUCCESS;
  EXPECT_FALSE(ProbeWritable(Path(L"file\\b"), &error));
  EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
}

TEST_F(TempWorkspaceTest, FailedProbeRemovesTheDirectoriesItMade) {
  ASSERT_TRUE(CreateDirectoryW(Path(L"a").c_str(), nullptr));
  DWORD error = ERROR_SUCCESS;
  // "a\\new" can be made, the invalid name below it cannot.
  EXPECT_FALSE(ProbeWritable(Path(L"a\\new\\bad|name"), &error));
  EXPECT_NE(error, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(Exists(Path(L"a\\new")));
  EXPECT_TRUE(Exists(Path(L"a")));  // existed before, stays
}

TEST_F(TempWorkspaceTest, VolumeTempFolderByDrive) {
  wchar_t windows[MAX_PATH + 1];
  GetWindowsDirectoryW(windows, MAX_PATH + 1);
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  std::wstring folder;
  std::wstring on_windows_drive = std::wstring(1, static_cast<wchar_t>(towlower(windows[0]))) +
                                  L":\\x\\y.dll";
  ASSERT_TRUE(VolumeTempFolder(on_windows_drive, false, &folder));
  EXPECT_EQ(folder, temp);
  wchar_t other = towupper(windows[0]) == L'D' ? L'E' : L'D';
  ASSERT_TRUE(VolumeTempFolder(std::wstring(1, towlower(other)) + L":\\x.dll", false, &folder));
  EXPECT_EQ(folder, std::wstring(1, other) + L":\\.temp");
  EXPECT_FALSE(VolumeTempFolder(L"\\\\server\\share\\x.dll", false, &folder));
}

TEST_F(TempWorkspaceTest, MoveAsideMovesFileHeldOpenIntoTemp) {
  std::wstring file = Path(L"in_use.dll");
  WriteFileText(file, "payload");
  handles_.push_back(HoldOpen(file, FILE_SHARE_READ | FILE_SHARE_DELETE));
  ASSERT_TRUE(handles_.back().IsValid());
  std::wstring moved;
  ASSERT_TRUE(MoveAside(file, &moved));
  moved_.push_back(moved);
  EXPECT_FALSE(Exists(file));
  EXPECT_TRUE(Exists(moved));
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  EXPECT_EQ(moved.rfind(temp, 0), 0u) << base::WideToUtf8(moved);
  EXPECT_EQ(moved.substr(moved.size() - 4), L".tmp");
}

TEST_F(TempWorkspaceTest, MoveAsideFailsWhenRenameIsDenied) {
  std::wstring file = Path(L"locked.dll");
  WriteFileText(file, "payload");
  handles_.push_back(HoldOpen(file, FILE_SHARE_READ));
  std::wstring moved;
  EXPECT_FALSE(MoveAside(file, &moved));
  EXPECT_TRUE(Exists(file));
  EXPECT_FALSE(MoveAside(Path(L"missing.dll"), &moved));
  EXPECT_FALSE(MoveAside(L"", &moved));
}

TEST_F(TempWorkspaceTest, DeleteOrScheduleDeletesReadOnlyFile) {
  std::wstring file = Path(L"ro.txt");
  WriteFileText(file, "x");
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(DeleteOrSchedule(file));
  EXPECT_FALSE(Exists(file));
  EXPECT_TRUE(DeleteOrSchedule(Path(L"never_existed.txt")));
}

TEST_F(TempWorkspaceTest, DeleteOrScheduleQueuesLockedFileForRestart) {
  std::wstring file = Path(L"locked.txt");
  WriteFileText(file, "x");
  handles_.push_back(HoldOpen(file, FILE_SHARE_READ));
  EXPECT_FALSE(PendingMentions(file));
  EXPECT_FALSE(DeleteOrSchedule(file));
  EXPECT_TRUE(Exists(file));
  EXPECT_TRUE(PendingMentions(file));
}

TEST_F(TempWorkspaceTest, DeleteTreeRefusesRootsAndMissingPaths) {
  EXPECT_FALSE(DeleteTree(L"C:\\"));
  EXPECT_FALSE(DeleteTree(L"C:"));
  EXPECT_FALSE(DeleteTree(L""));
  EXPECT_FALSE(DeleteTree(Path(L"missing")));
  EXPECT_TRUE(Exists(L"C:\\windows"));
}

TEST_F(TempWorkspaceTest, DeleteTreeRemovesReadOnlyFilesAndNestedDirectories) {
  std::wstring tree = Path(L"tree");
  ASSERT_TRUE(CreateDirectories(tree + L"\\a\\b\\c", nullptr));
  WriteFileText(tree + L"\\top.txt", "1");
  WriteFileText(tree + L"\\a\\b\\ro.txt", "2");
  SetFileAttributesW((tree + L"\\a\\b\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((tree + L"\\a").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(DeleteTree(tree));
  EXPECT_FALSE(Exists(tree));
}

TEST_F(TempWorkspaceTest, DeleteTreeReportsLockedFileButRemovesTheRest) {
  std::wstring tree = Path(L"tree");
  ASSERT_TRUE(CreateDirectories(tree + L"\\a", nullptr));
  ASSERT_TRUE(CreateDirectories(tree + L"\\z", nullptr));
  WriteFileText(tree + L"\\a\\locked.txt", "1");
  WriteFileText(tree + L"\\a\\free.txt", "2");
  WriteFileText(tree + L"\\z\\free.txt", "3");
  handles_.push_back(HoldOpen(tree + L"\\a\\locked.txt", FILE_SHARE_READ));
  EXPECT_FALSE(DeleteTree(tree));
  EXPECT_TRUE(Exists(tree + L"\\a\\locked.txt"));
  EXPECT_FALSE(Exists(tree + L"\\a\\free.txt"));
  EXPECT_FALSE(Exists(tree + L"\\z"));
}

// The restart finds the held file first, then its folder, then the tree: the
// session manager removes a folder only once it is empty.
TEST_F(TempWorkspaceTest, DeleteTreeOrScheduleQueuesWhatIsHeldAndTheFoldersAboveIt) {
  const std::wstring tree = Path(L"tree");
  ASSERT_TRUE(CreateDirectories(tree + L"\\a", nullptr));
  ASSERT_TRUE(CreateDirectories(tree + L"\\z", nullptr));
  WriteFileText(tree + L"\\a\\held.txt", "1");
  WriteFileText(tree + L"\\z\\free.txt", "2");
  handles_.push_back(HoldOpen(tree + L"\\a\\held.txt", FILE_SHARE_READ));
  EXPECT_FALSE(DeleteTreeOrSchedule(tree));
  EXPECT_FALSE(Exists(tree + L"\\z"));
  std::vector<BYTE> data;
  ASSERT_TRUE(ReadPending(&data));
  std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
  CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  std::vector<size_t> at;
  for (std::wstring path : {tree + L"\\a\\held.txt", tree + L"\\a", tree}) {
    CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    at.push_back(text.find(path + L'\0'));
    ASSERT_NE(at.back(), std::wstring::npos) << "not scheduled";
  }
  EXPECT_LT(at[0], at[1]);
  EXPECT_LT(at[1], at[2]);
  EXPECT_FALSE(PendingMentions(tree + L"\\z"));
}

// The walk finds "<tree>\a\sub" swapped for a link right before it
// enumerates it, as another process of the user could arrange.
std::wstring g_swap_dir;
std::wstring g_swap_target;
void SwapForLink(const std::wstring& dir) {
  if (dir == g_swap_dir && MoveFileW(dir.c_str(), (dir + L"_moved").c_str())) MakeDirectoryLink(g_swap_target, dir);
}

// Whether the tree given is a link, holds one, or has a folder swapped for
// one during the walk, what the link points at stays. (Windows removes such a
// link with RemoveDirectoryW; Wine cannot remove one through Win32.)
TEST_F(TempWorkspaceTest, RemovalsNeverFollowALink) {
  const std::wstring outside = Path(L"outside");
  const std::wstring canary = outside + L"\\canary.tmp";
  const std::pair<const char*, bool (*)(const std::wstring&)> removals[] = {
      {"DeleteTree", [](const std::wstring& tree) { return DeleteTree(tree); }},
      {"RemoveTreeCounted",
       [](const std::wstring& tree) {
         unsigned long long counter = 0;
         return RemoveTreeCounted(tree, &counter, nullptr);
       }},
      {"PurgeByExtension", [](const std::wstring& tree) { return PurgeByExtension(tree, L".tmp"); }},
      {"DeleteTreeOrSchedule", [](const std::wstring& tree) { return DeleteTreeOrSchedule(tree); }},
  };
  std::vector<std::wstring> links;
  for (const auto& removal : removals) {
    SCOPED_TRACE(removal.first);
    ASSERT_TRUE(CreateDirectories(outside, nullptr));
    SetFileAttributesW(canary.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteFileText(canary, "keep");
    ASSERT_TRUE(SetFileAttributesW(canary.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring tree = Path(L"tree") + base::Utf8ToWide(removal.first);
    ASSERT_TRUE(CreateDirectories(tree + L"\\a\\sub", nullptr));
    WriteFileText(tree + L"\\a\\sub\\own.tmp", "x");
    for (const wchar_t* link : {L"_link", L"\\inner"}) {
      links.push_back(tree + link);
      ASSERT_TRUE(MakeDirectoryLink(outside, links.back())) << "needs Wine";
    }

    removal.second(tree + L"_link");
    EXPECT_TRUE(Exists(canary)) << "the tree given was a link";
    g_swap_dir = tree + L"\\a\\sub";
    g_swap_target = outside;
    SetTreeWalkHookForTesting(SwapForLink);
    removal.second(tree);
    SetTreeWalkHookForTesting(nullptr);
    EXPECT_TRUE(Exists(canary)) << "a folder in the tree was or became a link";
    EXPECT_TRUE(GetFileAttributesW(canary.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(Exists(g_swap_dir + L"\\own.tmp")) << "the folder was walked as it was";
    if (IsLinkPath(g_swap_dir)) links.push_back(g_swap_dir);
  }
  RunUnixTool("rm -f", links);
  for (int i = 0; i < 50 && Exists(links.back()); ++i) Sleep(100);
}

class CountingObserver : public IRemoveObserver {
 public:
  void OnFileRemoved(unsigned long long count) override { seen.push_back(count); }
  std::vector<unsigned long long> seen;
};

TEST_F(TempWorkspaceTest, RemoveTreeCountedCountsEveryFile) {
  std::wstring tree = Path(L"tree");
  ASSERT_TRUE(CreateDirectories(tree + L"\\a", nullptr));
  WriteFileText(tree + L"\\1.txt", "1");
  WriteFileText(tree + L"\\a\\2.txt", "2");
  WriteFileText(tree + L"\\a\\3.txt", "3");
  unsigned long long counter = 5;
  CountingObserver observer;
  EXPECT_TRUE(RemoveTreeCounted(tree, &counter, &observer));
  EXPECT_EQ(counter, 8u);
  EXPECT_EQ(observer.seen, (std::vector<unsigned long long>{6, 7, 8}));
  EXPECT_FALSE(Exists(tree));
}

TEST_F(TempWorkspaceTest, PurgeByExtensionRemovesOnlyMatchingFiles) {
  ASSERT_TRUE(CreateDirectories(Path(L"sub\\deeper"), nullptr));
  WriteFileText(Path(L"a.tmp"), "1");
  WriteFileText(Path(L"b.TMP"), "2");
  WriteFileText(Path(L"sub\\deeper\\c.tmp"), "3");
  WriteFileText(Path(L"sub\\ro.tmp"), "4");
  SetFileAttributesW(Path(L"sub\\ro.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFileText(Path(L"keep.txt"), "5");
  WriteFileText(Path(L"keep.tmpx"), "6");
  WriteFileText(Path(L"tmp"), "7");
  EXPECT_TRUE(PurgeByExtension(root_, L".tmp"));
  EXPECT_FALSE(Exists(Path(L"a.tmp")));
  EXPECT_FALSE(Exists(Path(L"b.TMP")));
  EXPECT_FALSE(Exists(Path(L"sub\\deeper\\c.tmp")));
  EXPECT_FALSE(Exists(Path(L"sub\\ro.tmp")));
  EXPECT_TRUE(Exists(Path(L"keep.txt")));
  EXPECT_TRUE(Exists(Path(L"keep.tmpx")));
  EXPECT_TRUE(Exists(Path(L"tmp")));
  EXPECT_TRUE(Exists(Path(L"sub\\deeper")));
}

TEST_F(TempWorkspaceTest, PurgeByExtensionRefusesBadArguments) {
  EXPECT_FALSE(PurgeByExtension(L"", L".tmp"));
  EXPECT_FALSE(PurgeByExtension(root_, L""));
  EXPECT_FALSE(PurgeByExtension(std::wstring(260, L'a'), L".tmp"));
}

// What resists waits for the restart where it is: moved aside, it would wait
// in the user's temp folder, open to a link swapped in before the restart.
TEST_F(TempWorkspaceTest, PurgeByExtensionSchedulesFileInUseWhereItIs) {
  // Held without delete sharing: neither deletable nor movable.
  const std::wstring held = Path(L"in_use.tmp");
  WriteFileText(held, "x");
  handles_.push_back(HoldOpen(held, FILE_SHARE_READ | FILE_SHARE_WRITE));
  // A loaded library: not deletable, but movable.
  wchar_t self[MAX_PATH] = {};
  std::wstring library(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  library = library.substr(0, library.find_last_of(L'\\') + 1) + L"7z.dll";
  const std::wstring loaded = Path(L"loaded.tmp");
  ASSERT_TRUE(CopyFileW(library.c_str(), loaded.c_str(), FALSE));
  HMODULE module = LoadLibraryW(loaded.c_str());
  ASSERT_NE(module, nullptr);

  EXPECT_FALSE(PurgeByExtension(root_, L".tmp"));
  for (const std::wstring& file : {held, loaded}) {
    EXPECT_TRUE(Exists(file)) << base::WideToUtf8(file);
    EXPECT_TRUE(PendingMentions(file)) << base::WideToUtf8(file);
  }
  FreeLibrary(module);
}

}  // namespace
}  // namespace package
