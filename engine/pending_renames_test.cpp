#include "engine/pending_renames.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "engine/placement_test_support.h"

namespace engine {
namespace {

using testing_support::MultiSz;
using testing_support::ReadPendingValue;
using testing_support::RemovePendingValue;
using testing_support::ScopedPendingValue;
using testing_support::WritePendingValue;

const wchar_t kDir[] = L"C:\\Program Files\\Pelorix";

struct InDirectoryCase {
  const wchar_t* path;
  bool expected;
};

TEST(PendingRenames, InDirectoryComparesWholeNamesWithoutCase) {
  const InDirectoryCase cases[] = {
      {L"C:\\Program Files\\Pelorix\\a.dll", true},
      {L"c:\\program files\\PELORIX\\sub\\b.exe", true},
      {L"C:\\Program Files\\Pelorix", true},
      {L"C:\\Program Files\\Pelorix/x", true},
      {L"C:\\Program Files\\Pelorix2\\a.dll", false},  // a neighbour, not ours
      {L"C:\\Program Files\\Pelori", false},
      {L"C:\\Program Files\\Other\\a.dll", false},
      {L"D:\\Program Files\\Pelorix\\a.dll", false},
      {L"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, CRegPendingFileRename::InDirectory(c.path, kDir)) << c.path;
    // A trailing separator on the directory changes nothing.
    EXPECT_EQ(c.expected,
              CRegPendingFileRename::InDirectory(c.path, std::wstring(kDir) + L"\\"))
        << c.path;
  }
  EXPECT_FALSE(CRegPendingFileRename::InDirectory(nullptr, kDir));
  EXPECT_FALSE(CRegPendingFileRename::InDirectory(L"C:\\x", L""));
}

struct FilterCase {
  const char* name;
  std::vector<std::wstring> strings;  // the stored strings, final terminator not included
  std::vector<std::wstring> kept;     // kept strings, pairwise
  size_t dropped;
  bool terminated = true;  // whether the data ends with the final terminator
};

TEST(PendingRenames, FilterKeepsOnlyOtherProgramsEntries) {
  const FilterCase cases[] = {
      {"empty list", {}, {}, 0},
      {"other program's move",
       {L"\\??\\C:\\Other\\new.dll", L"!\\??\\C:\\Other\\old.dll"},
       {L"\\??\\C:\\Other\\new.dll", L"!\\??\\C:\\Other\\old.dll"},
       0},
      {"source in the install directory",
       {L"\\??\\C:\\Program Files\\Pelorix\\cln1.tmp", L"!\\??\\C:\\Other\\a"},
       {},
       1},
      {"replacing destination in the install directory",
       {L"\\??\\C:\\Temp\\x.tmp", L"!\\??\\C:\\Program Files\\Pelorix\\a.dll"},
       {},
       1},
      {"destination without the replace mark",
       {L"\\??\\C:\\Temp\\x.tmp", L"\\??\\c:\\program files\\pelorix\\a.dll"},
       {},
       1},
      {"deletion of our file",
       {L"\\??\\C:\\Program Files\\Pelorix\\old.tmp", L""},
       {},
       1},
      {"deletion of another program's file",
       {L"\\??\\C:\\Other\\old.tmp", L""},
       {L"\\??\\C:\\Other\\old.tmp", L""},
       0},
      {"neighbouring directory is not ours",
       {L"\\??\\C:\\Program Files\\Pelorix2\\a", L"!\\??\\C:\\Program Files\\Pelorix2\\b"},
       {L"\\??\\C:\\Program Files\\Pelorix2\\a", L"!\\??\\C:\\Program Files\\Pelorix2\\b"},
       0},
      {"mixed, order kept",
       {L"\\??\\C:\\A\\1", L"", L"\\??\\C:\\Program Files\\Pelorix\\2", L"",
        L"\\??\\C:\\B\\3", L"!\\??\\C:\\B\\4", L"\\??\\C:\\T\\5",
        L"!\\??\\C:\\Program Files\\Pelorix\\6"},
       {L"\\??\\C:\\A\\1", L"", L"\\??\\C:\\B\\3", L"!\\??\\C:\\B\\4"},
       2},
      {"source without a destination ends the walk",
       {L"\\??\\C:\\A\\1", L"", L"\\??\\C:\\A\\2"},
       {L"\\??\\C:\\A\\1", L""},
       0,
       false},
  };
  for (const auto& c : cases) {
    std::wstring data;
    for (const auto& s : c.strings) {
      data += s;
      data.push_back(L'\0');
    }
    if (c.terminated) {
      data.push_back(L'\0');
    } else {
      data.pop_back();  // the data stops inside the last string
    }

    std::vector<PendingRename> kept;
    EXPECT_EQ(c.dropped, CRegPendingFileRename::Filter(data.data(), data.size(), kDir, &kept))
        << c.name;
    std::vector<std::wstring> flat;
    for (const auto& entry : kept) {
      flat.push_back(entry.source);
      flat.push_back(entry.destination);
    }
    EXPECT_EQ(c.kept, flat) << c.name;
  }
}

TEST(PendingRenames, SerializeWritesEachStringThenTheFinalTerminator) {
  std::vector<PendingRename> entries = {{L"\\??\\C:\\a", L""}, {L"\\??\\C:\\b", L"!\\??\\C:\\c"}};
  std::vector<wchar_t> data = CRegPendingFileRename::Serialize(entries);
  std::wstring expected(L"\\??\\C:\\a\0\0\\??\\C:\\b\0!\\??\\C:\\c\0\0", 30);
  EXPECT_EQ(expected, std::wstring(data.begin(), data.end()));
  EXPECT_EQ(std::vector<wchar_t>{L'\0'}, CRegPendingFileRename::Serialize({}));
}

class PendingRenamesRegistry : public ::testing::Test {
 protected:
  ScopedPendingValue saved_;
};

TEST_F(PendingRenamesRegistry, NothingIsWrittenWhenNoValueIsPresent) {
  ASSERT_TRUE(RemovePendingValue());
  PrunePendingRenames(kDir);
  std::vector<BYTE> data;
  EXPECT_FALSE(ReadPendingValue(&data));
}

TEST_F(PendingRenamesRegistry, OtherProgramsEntriesSurviveByteForByte) {
  std::vector<BYTE> original = MultiSz({
      L"\\??\\C:\\Other\\new.dll", L"!\\??\\C:\\Other\\old.dll",
      L"\\??\\C:\\Program Files\\Pelorix\\cln12.tmp", L"!\\??\\C:\\Program Files\\Pelorix\\a.dll",
      L"\\??\\D:\\Stuff\\x.tmp", L"",
      L"\\??\\C:\\Temp\\y.tmp", L"!\\??\\C:\\Program Files\\Pelorix\\b.dll",
      L"\\??\\C:\\Program Files\\Pelorix2\\z", L"!\\??\\C:\\Program Files\\Pelorix2\\w",
  });
  ASSERT_TRUE(WritePendingValue(original));
  PrunePendingRenames(kDir);

  std::vector<BYTE> data;
  DWORD type = 0;
  ASSERT_TRUE(ReadPendingValue(&data, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), type);
  EXPECT_EQ(MultiSz({L"\\??\\C:\\Other\\new.dll", L"!\\??\\C:\\Other\\old.dll",
                     L"\\??\\D:\\Stuff\\x.tmp", L"", L"\\??\\C:\\Program Files\\Pelorix2\\z",
                     L"!\\??\\C:\\Program Files\\Pelorix2\\w"}),
            data);
}

TEST_F(PendingRenamesRegistry, ListWithOnlyOurEntriesKeepsJustTheTerminator) {
  ASSERT_TRUE(WritePendingValue(MultiSz({L"\\??\\C:\\Program Files\\Pelorix\\a", L""})));
  PrunePendingRenames(kDir);
  std::vector<BYTE> data;
  ASSERT_TRUE(ReadPendingValue(&data));
  EXPECT_EQ(std::vector<BYTE>({0, 0}), data);
}

TEST_F(PendingRenamesRegistry, ListNotConcerningUsIsLeftExactlyAsItWas) {
  // Not even well formed (no final terminator): rewriting it would change it.
  std::vector<BYTE> original = MultiSz({L"\\??\\C:\\Other\\a", L"!\\??\\C:\\Other\\b"});
  original.resize(original.size() - sizeof(wchar_t));
  ASSERT_TRUE(WritePendingValue(original));
  PrunePendingRenames(kDir);
  std::vector<BYTE> data;
  ASSERT_TRUE(ReadPendingValue(&data));
  EXPECT_EQ(original, data);
}

TEST_F(PendingRenamesRegistry, ValueOfAnotherTypeIsLeftAlone) {
  std::wstring text = L"\\??\\C:\\Program Files\\Pelorix\\a";
  std::vector<BYTE> original(reinterpret_cast<const BYTE*>(text.c_str()),
                             reinterpret_cast<const BYTE*>(text.c_str() + text.size() + 1));
  ASSERT_TRUE(WritePendingValue(original, REG_SZ));
  PrunePendingRenames(kDir);
  std::vector<BYTE> data;
  DWORD type = 0;
  ASSERT_TRUE(ReadPendingValue(&data, &type));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(original, data);
}

TEST_F(PendingRenamesRegistry, EmptyInstallDirectoryChangesNothing) {
  std::vector<BYTE> original = MultiSz({L"\\??\\C:\\Other\\a", L""});
  ASSERT_TRUE(WritePendingValue(original));
  PrunePendingRenames(L"");
  std::vector<BYTE> data;
  ASSERT_TRUE(ReadPendingValue(&data));
  EXPECT_EQ(original, data);
}

TEST_F(PendingRenamesRegistry, ListLargerThanTheFirstReadIsPrunedWhole) {
  // Well over the first 512 KiB read, so the buffer has to grow.
  std::vector<std::wstring> strings;
  std::wstring padding(200, L'p');
  for (int i = 0; i < 1500; ++i) {
    strings.push_back(L"\\??\\C:\\Other\\" + padding + std::to_wstring(i));
    strings.push_back(L"");
  }
  strings.push_back(L"\\??\\C:\\Program Files\\Pelorix\\last.tmp");
  strings.push_back(L"");
  std::wstring text;
  for (const auto& s : strings) {
    text += s;
    text.push_back(L'\0');
  }
  text.push_back(L'\0');
  std::vector<BYTE> original(reinterpret_cast<const BYTE*>(text.data()),
                             reinterpret_cast<const BYTE*>(text.data() + text.size()));
  ASSERT_GT(original.size(), 0x80000u);
  ASSERT_TRUE(WritePendingValue(original));
  PrunePendingRenames(kDir);

  std::vector<BYTE> data;
  ASSERT_TRUE(ReadPendingValue(&data));
  size_t tail = (std::wstring(L"\\??\\C:\\Program Files\\Pelorix\\last.tmp").size() + 2) *
                sizeof(wchar_t);
  std::vector<BYTE> expected(original.begin(), original.end() - tail - sizeof(wchar_t));
  expected.push_back(0);
  expected.push_back(0);
  EXPECT_EQ(expected, data);
}

}  // namespace
}  // namespace engine
