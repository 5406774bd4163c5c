#include "package/extract_7z.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "package/archive_callbacks.h"
#include "package/archive_streams.h"
#include "package/sevenzip_library.h"
#include "package/temp_workspace.h"

namespace package {
namespace {

std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  DWORD len = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, len);
  return dir.substr(0, dir.find_last_of(L'\\'));
}

std::wstring TestArchive(const wchar_t* name) {
  return ExeDir() + L"\\package_testdata\\" + name;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::wstring& path) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  if (!file) return "<missing>";
  std::string data;
  char buffer[65536];
  DWORD done = 0;
  while (ReadFile(file.Get(), buffer, sizeof(buffer), &done, nullptr) && done > 0)
    data.append(buffer, done);
  return data;
}

// Names of everything directly inside `dir`.
std::vector<std::wstring> List(const std::wstring& dir) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

// Writes down every call, in order.
class RecordingCallback : public Extract7z::IExtractCallback {
 public:
  struct Item {
    unsigned index;
    unsigned count;
    std::wstring path;
    bool is_dir;
    bool has_time;
    FILETIME time;
  };
  int OnExtractBegin(const wchar_t* archive, const wchar_t* destination) override {
    events.push_back(L"begin");
    archive_name = archive;
    destination_seen = destination;
    return 0;
  }
  int OnItemBegin(unsigned index, unsigned count, const wchar_t* path, bool is_dir,
                  const FILETIME* mtime) override {
    events.push_back(L"item+ " + std::wstring(path));
    begun.push_back({index, count, path, is_dir, mtime != nullptr, mtime ? *mtime : FILETIME{}});
    if (stop_at_begin == begun.size()) return Extract7z::kStopExtraction;
    return skip == path ? Extract7z::kSkipItem : 0;
  }
  int OnItemEnd(unsigned index, unsigned count, const wchar_t* path, bool is_dir) override {
    events.push_back(L"item- " + std::wstring(path));
    ended.push_back({index, count, path, is_dir, false, {}});
    return stop_at_end == ended.size() ? Extract7z::kStopExtraction : 0;
  }
  int OnExtractEnd(int success) override {
    events.push_back(L"end " + std::to_wstring(success));
    return 0;
  }

  std::wstring skip;
  size_t stop_at_begin = 0;  // the n-th item begun answers stop (0: never)
  size_t stop_at_end = 0;    // the n-th item ended answers stop
  std::vector<std::wstring> events;
  std::vector<Item> begun;
  std::vector<Item> ended;
  std::wstring archive_name;
  std::wstring destination_seen;
};

const wchar_t* const kNormalFiles[] = {L"readme.txt",          L"empty.txt",
                                       L"dir1\\dir2\\deep.txt", L"中文目录\\中文文件.txt",
                                       L"readonly.txt",        L"big.txt"};

std::string ExpectedBig() {
  std::string text;
  for (int i = 1; i <= 60000; ++i) text += std::to_string(i) + "\n";
  return text;
}

class ExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Load7zLibrary((ExeDir() + L"\\7z.dll").c_str()));
    ASSERT_TRUE(NewTempPath(&root_));
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    dest_ = root_ + L"\\out";
  }
  void TearDown() override { DeleteTree(root_); }

  void ExpectNormalTree(const std::wstring& dir) {
    EXPECT_EQ(ReadAll(dir + L"\\readme.txt"), "Pelorix test archive\r\n");
    EXPECT_EQ(ReadAll(dir + L"\\empty.txt"), "");
    EXPECT_EQ(ReadAll(dir + L"\\dir1\\dir2\\deep.txt"), "deep file\n");
    EXPECT_EQ(ReadAll(dir + L"\\中文目录\\中文文件.txt"), "你好，世界\n");
    EXPECT_EQ(ReadAll(dir + L"\\readonly.txt"), "read only\n");
    EXPECT_EQ(ReadAll(dir + L"\\big.txt"), ExpectedBig());
    DWORD attrs = GetFileAttributesW((dir + L"\\emptydir").c_str());
    EXPECT_NE(attrs, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attrs & FILE_ATTRIBUTE_DIRECTORY);
  }

  std::string ReadArchive(const wchar_t* name) {
    std::string data = ReadAll(TestArchive(name));
    return data == "<missing>" ? std::string() : data;
  }

  std::wstring root_;
  std::wstring dest_;
};

TEST_F(ExtractTest, ExtractsFilesDirectoriesAndNames) {
  HRESULT result = E_FAIL;
  ASSERT_EQ(ExtractArchive(TestArchive(L"normal.7z").c_str(), (dest_ + L"\\a\\b").c_str(),
                           nullptr, &result),
            0);
  EXPECT_EQ(result, S_OK);
  ExpectNormalTree(dest_ + L"\\a\\b");
}

TEST_F(ExtractTest, KeepsTimeAndReadOnlyAttribute) {
  ASSERT_EQ(ExtractArchive(TestArchive(L"normal.7z").c_str(), dest_.c_str(), nullptr), 0);
  WIN32_FILE_ATTRIBUTE_DATA info;
  ASSERT_TRUE(GetFileAttributesExW((dest_ + L"\\dir1\\dir2\\deep.txt").c_str(),
                                   GetFileExInfoStandard, &info));
  SYSTEMTIME st = {2021, 3, 0, 4, 5, 6, 7, 0};
  FILETIME expected;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &expected));
  EXPECT_EQ(CompareFileTime(&info.ftLastWriteTime, &expected), 0);
  EXPECT_EQ(CompareFileTime(&info.ftCreationTime, &expected), 0);
  EXPECT_TRUE(GetFileAttributesW((dest_ + L"\\readonly.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(GetFileAttributesW((dest_ + L"\\readme.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(ExtractTest, ReplacesReadOnlyFilesButNotDirectories) {
  ASSERT_EQ(ExtractArchive(TestArchive(L"normal.7z").c_str(), dest_.c_str(), nullptr), 0);
  ASSERT_EQ(ExtractArchive(TestArchive(L"normal.7z").c_str(), dest_.c_str(), nullptr), 0);
  ExpectNormalTree(dest_);

  std::wstring other = root_ + L"\\other";
  ASSERT_TRUE(CreateDirectories(other + L"\\readme.txt", nullptr));
  HRESULT result = S_OK;
  EXPECT_EQ(ExtractArchive(TestArchive(L"normal.7z").c_str(), other.c_str(), nullptr, &result),
            -1);
  EXPECT_NE(result, S_OK);
}

TEST_F(ExtractTest, ExtractsFromMemory) {
  std::string data = ReadArchive(L"normal.7z");
  RecordingCallback callback;
  HRESULT result = E_FAIL;
  ASSERT_EQ(ExtractBuffer(L"payload", data.data(), static_cast<long long>(data.size()),
                          dest_.c_str(), &callback, &result),
            0);
  EXPECT_EQ(result, S_OK);
  ExpectNormalTree(dest_);
  EXPECT_EQ(callback.archive_name, L"payload");
  EXPECT_EQ(callback.destination_seen, dest_ + L"\\");
  ASSERT_FALSE(callback.events.empty());
  EXPECT_EQ(callback.events.back(), L"end 1");
}

TEST_F(ExtractTest, BufferArgumentsAreCheckedBeforeTheLibrary) {
  std::string data = ReadArchive(L"normal.7z");
  RecordingCallback callback;
  EXPECT_EQ(ExtractBuffer(L"p", data.data(), 0, dest_.c_str(), &callback), -1);
  EXPECT_EQ(ExtractBuffer(L"p", data.data(), -5, dest_.c_str(), &callback), -1);
  EXPECT_EQ(ExtractBuffer(L"p", nullptr, 10, dest_.c_str(), &callback), -1);
  EXPECT_EQ(ExtractBuffer(nullptr, data.data(), 10, dest_.c_str(), &callback), -1);
  EXPECT_EQ(ExtractBuffer(L"p", data.data(), 10, nullptr, &callback), -1);
  // Only the head of the archive: the library must not read past it.
  EXPECT_EQ(ExtractBuffer(L"p", data.data(), 100, dest_.c_str(), &callback), -1);
  EXPECT_TRUE(callback.events.empty());
}

TEST_F(ExtractTest, CallbackOrderAndProgress) {
  RecordingCallback callback;
  std::wstring archive = TestArchive(L"normal.7z");
  ASSERT_EQ(ExtractArchive(archive.c_str(), dest_.c_str(), &callback), 0);
  ASSERT_GE(callback.events.size(), 2u);
  EXPECT_EQ(callback.events.front(), L"begin");
  EXPECT_EQ(callback.events.back(), L"end 1");
  EXPECT_EQ(callback.archive_name, archive);

  // 4 directories and 6 files, each begun and ended once, in pairs.
  const unsigned kItems = 10;
  ASSERT_EQ(callback.begun.size(), kItems);
  ASSERT_EQ(callback.ended.size(), kItems);
  EXPECT_EQ(callback.events.size(), 2 + 2 * kItems);
  std::vector<bool> seen(kItems, false);
  for (unsigned i = 0; i < kItems; ++i) {
    const auto& b = callback.begun[i];
    const auto& e = callback.ended[i];
    EXPECT_EQ(callback.events[1 + 2 * i], L"item+ " + b.path);
    EXPECT_EQ(callback.events[2 + 2 * i], L"item- " + b.path);
    EXPECT_EQ(b.index, e.index);
    EXPECT_EQ(b.path, e.path);
    EXPECT_EQ(b.is_dir, e.is_dir);
    EXPECT_EQ(b.count, kItems);
    ASSERT_LT(b.index, kItems);
    EXPECT_FALSE(seen[b.index]);
    seen[b.index] = true;
    EXPECT_TRUE(b.has_time) << base::WideToUtf8(b.path);
    if (b.path == L"dir1\\dir2\\deep.txt") {
      SYSTEMTIME st;
      FileTimeToSystemTime(&b.time, &st);
      EXPECT_EQ(st.wYear, 2021);
      EXPECT_EQ(st.wSecond, 7);
    }
    bool dir = b.path == L"dir1" || b.path == L"dir1\\dir2" || b.path == L"emptydir" ||
               b.path == L"中文目录";
    EXPECT_EQ(b.is_dir, dir) << base::WideToUtf8(b.path);
  }
}

TEST_F(ExtractTest, SkippedItemIsNotWrittenNorEnded) {
  RecordingCallback callback;
  callback.skip = L"readme.txt";
  ASSERT_EQ(ExtractArchive(TestArchive(L"normal.7z").c_str(), dest_.c_str(), &callback), 0);
  EXPECT_FALSE(Exists(dest_ + L"\\readme.txt"));
  EXPECT_EQ(ReadAll(dest_ + L"\\big.txt"), ExpectedBig());
  EXPECT_EQ(callback.begun.size(), 10u);
  EXPECT_EQ(callback.ended.size(), 9u);
  for (const auto& item : callback.ended) EXPECT_NE(item.path, L"readme.txt");
}

// A stop answered at an item's begin or end ends the extraction there.
TEST_F(ExtractTest, StopEndsTheExtractionWithinOneItem) {
  const struct { size_t at_begin, at_end, begun, ended; } kCases[] = {{3, 0, 3, 2}, {0, 2, 3, 2}};
  for (const auto& c : kCases) {
    RecordingCallback callback;
    callback.stop_at_begin = c.at_begin;
    callback.stop_at_end = c.at_end;
    const std::wstring dest = dest_ + std::to_wstring(c.at_begin);
    EXPECT_EQ(ExtractArchive(TestArchive(L"normal.7z").c_str(), dest.c_str(), &callback), -1);
    // Begun counts the item that asked to stop; the next one may already be
    // announced when the stop comes at an item's end.
    EXPECT_LE(callback.begun.size(), c.begun) << c.at_begin << "/" << c.at_end;
    EXPECT_EQ(callback.ended.size(), c.ended) << c.at_begin << "/" << c.at_end;
    EXPECT_EQ(callback.events.back(), L"end 0");
  }
}

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void AppendLe(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 7z archive of one stored stream and no names at all, which 7zz cannot
// make: signature header, the data, then a plain header of pack, folder
// (Copy coder) and file records without any file property.
std::string NamelessArchive(const std::string& content) {
  std::string header;
  header += '\x01';                                   // header
  header += '\x04';                                   // main streams
  header += '\x06';                                   // pack info
  header += '\x00';                                   // pack position
  header += '\x01';                                   // one pack stream
  header += '\x09';                                   // sizes
  header += static_cast<char>(content.size());
  header += '\x00';
  header += '\x07';                                   // unpack info
  header += '\x0B';                                   // folders
  header += '\x01';                                   // one folder
  header += '\x00';                                   // not external
  header += '\x01';                                   // one coder
  header += '\x01';                                   // one-byte id, simple
  header += '\x00';                                   // Copy
  header += '\x0C';                                   // unpack sizes
  header += static_cast<char>(content.size());
  header += '\x00';
  header += '\x00';                                   // end of streams
  header += '\x05';                                   // files
  header += '\x01';                                   // one file
  header += '\x00';                                   // no properties
  header += '\x00';                                   // end of header

  std::string start;
  AppendLe(&start, content.size(), 8);
  AppendLe(&start, header.size(), 8);
  AppendLe(&start, Crc32(header), 4);

  std::string archive("7z\xBC\xAF\x27\x1C\x00\x04", 8);
  AppendLe(&archive, Crc32(start), 4);
  return archive + start + content + header;
}

TEST_F(ExtractTest, ItemWithoutNameIsWrittenAsContent) {
  std::string content = "nameless stream\n";
  ASSERT_LT(content.size(), 0x80u);  // sizes above are single-byte numbers
  std::string archive = NamelessArchive(content);
  RecordingCallback callback;
  HRESULT result = E_FAIL;
  ASSERT_EQ(ExtractBuffer(L"nameless", archive.data(), static_cast<long long>(archive.size()),
                          dest_.c_str(), &callback, &result),
            0)
      << std::hex << result;
  EXPECT_EQ(ReadAll(dest_ + L"\\[Content]"), content);
  ASSERT_EQ(callback.begun.size(), 1u);
  EXPECT_EQ(callback.begun[0].path, L"[Content]");
  EXPECT_FALSE(callback.begun[0].has_time);
  EXPECT_EQ(List(dest_), std::vector<std::wstring>{L"[Content]"});
}

struct UnsafeCase {
  const wchar_t* archive;
  const wchar_t* outside;  // relative to the test root; must stay absent
};

class UnsafeArchiveTest : public ExtractTest,
                          public ::testing::WithParamInterface<UnsafeCase> {};

TEST_P(UnsafeArchiveTest, IsRefusedAndNothingIsWritten) {
  // Work from inside the destination so that drive-relative names would
  // land somewhere the test can see.
  ASSERT_TRUE(CreateDirectories(dest_ + L"\\inner", nullptr));
  wchar_t saved_cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved_cwd);
  SetCurrentDirectoryW((dest_ + L"\\inner").c_str());

  RecordingCallback callback;
  HRESULT result = S_OK;
  int rc = ExtractArchive(TestArchive(GetParam().archive).c_str(), (dest_ + L"\\inner").c_str(),
                          &callback, &result);
  std::string data = ReadArchive(GetParam().archive);
  HRESULT buffer_result = S_OK;
  int buffer_rc = ExtractBuffer(L"x", data.data(), static_cast<long long>(data.size()),
                                (dest_ + L"\\inner").c_str(), &callback, &buffer_result);
  SetCurrentDirectoryW(saved_cwd);

  EXPECT_EQ(rc, -1);
  EXPECT_EQ(result, kErrorUnsafeItemPath);
  EXPECT_EQ(buffer_rc, -1);
  EXPECT_EQ(buffer_result, kErrorUnsafeItemPath);
  EXPECT_TRUE(callback.events.empty());
  EXPECT_TRUE(List(dest_ + L"\\inner").empty());
  EXPECT_EQ(List(dest_), std::vector<std::wstring>{L"inner"});
  EXPECT_EQ(List(root_), std::vector<std::wstring>{L"out"});
  if (GetParam().outside) {
    EXPECT_FALSE(Exists(root_ + L"\\" + GetParam().outside));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, UnsafeArchiveTest,
    ::testing::Values(UnsafeCase{L"unsafe_dotdot.7z", L"out\\up.txt"},
                      UnsafeCase{L"unsafe_dotdot_inner.7z", L"out\\up.txt"},
                      UnsafeCase{L"unsafe_absolute.7z", nullptr},
                      UnsafeCase{L"unsafe_drive.7z", nullptr},
                      UnsafeCase{L"unsafe_stream.7z", nullptr},
                      UnsafeCase{L"unsafe_con.7z", nullptr},
                      UnsafeCase{L"unsafe_nul_txt.7z", nullptr},
                      UnsafeCase{L"unsafe_com1.7z", nullptr},
                      UnsafeCase{L"unsafe_lpt1.7z", nullptr}),
    [](const ::testing::TestParamInfo<UnsafeCase>& info) {
      std::string name = base::WideToUtf8(info.param.archive);
      return name.substr(7, name.size() - 10);  // "unsafe_" ... ".7z"
    });

// 7-Zip on Unix keeps a backslash inside a name as a character of its own
// (mapped to U+F05C), so "..\\evil.txt" made there is one odd file name, not a
// climb; it must end up as a single file inside the destination.
TEST_F(ExtractTest, UnixNameWithBackslashStaysOneFileInside) {
  RecordingCallback callback;
  ASSERT_EQ(ExtractArchive(TestArchive(L"unsafe_backslash_dotdot.7z").c_str(), dest_.c_str(),
                           &callback),
            0);
  std::vector<std::wstring> names = List(dest_);
  ASSERT_EQ(names.size(), 2u);
  for (const auto& name : names) {
    if (name == L"ok.txt") continue;
    EXPECT_EQ(ReadAll(dest_ + L"\\" + name), "bad\n");
    EXPECT_EQ(name.find(L'\\'), std::wstring::npos);
  }
  EXPECT_EQ(List(root_), std::vector<std::wstring>{L"out"});
}

// The extract callback refuses on its own too, should an item slip past the
// check made after opening.
TEST_F(ExtractTest, ExtractCallbackRefusesEscapingItem) {
  using CreateObjectFn = HRESULT(WINAPI*)(const GUID*, const GUID*, void**);
  auto create = reinterpret_cast<CreateObjectFn>(reinterpret_cast<void*>(
      CSevenZipLibrary::GetInstance()->GetProc("CreateObject")));
  ASSERT_NE(create, nullptr);
  const GUID k7z = {0x23170F69, 0x40C1, 0x278A, {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};
  IInArchive* raw = nullptr;
  ASSERT_EQ(create(&k7z, &IID_IInArchive, reinterpret_cast<void**>(&raw)), S_OK);
  CMyComPtr<IInArchive> archive;
  archive.Attach(raw);

  CInFileStream* file_impl = new CInFileStream;
  CMyComPtr<IInStream> file(file_impl);
  ASSERT_TRUE(file_impl->Open(TestArchive(L"unsafe_dotdot.7z").c_str()));
  CMyComPtr<IArchiveOpenCallback> open_callback(new CArchiveOpenCallback);
  ASSERT_EQ(archive->Open(file, nullptr, open_callback), S_OK);
  EXPECT_EQ(CheckItemPaths(archive, dest_), kErrorUnsafeItemPath);

  CArchiveExtractCallback* impl = new CArchiveExtractCallback;
  CMyComPtr<IArchiveExtractCallback> callback(impl);
  RecordingCallback recorder;
  impl->Init(archive, dest_, &recorder);
  UInt32 count = 0;
  ASSERT_EQ(archive->GetNumberOfItems(&count), S_OK);
  ASSERT_EQ(count, 2u);
  int refused = 0;
  for (UInt32 i = 0; i < count; ++i) {
    ISequentialOutStream* out = nullptr;
    HRESULT hr = callback->GetStream(i, &out, NArchive::NExtract::NAskMode::kExtract);
    if (hr == kErrorUnsafeItemPath) {
      ++refused;
      EXPECT_EQ(out, nullptr);
    } else if (out) {
      callback->SetOperationResult(NArchive::NExtract::NOperationResult::kOK);
      out->Release();
    }
  }
  EXPECT_EQ(refused, 1);
  EXPECT_TRUE(impl->RefusedPath());
  EXPECT_FALSE(Exists(root_ + L"\\up.txt"));
  archive->Close();
}

TEST_F(ExtractTest, EncryptedArchivesFailWithoutPrompt) {
  for (const wchar_t* name : {L"encrypted.7z", L"encrypted_header.7z"}) {
    RecordingCallback callback;
    auto start = std::chrono::steady_clock::now();
    HRESULT result = S_OK;
    EXPECT_EQ(ExtractArchive(TestArchive(name).c_str(), dest_.c_str(), &callback, &result), -1)
        << base::WideToUtf8(name);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_NE(result, S_OK);
    if (!callback.events.empty()) {
      EXPECT_EQ(callback.events.back(), L"end 0");
    }
    // No half-written item is left behind.
    EXPECT_FALSE(Exists(dest_ + L"\\readme.txt"));
    EXPECT_FALSE(Exists(dest_ + L"\\big.txt"));
  }
}

TEST_F(ExtractTest, DamagedArchivesFail) {
  for (const wchar_t* name : {L"truncated_end.7z", L"truncated_start.7z", L"not_an_archive.7z",
                              L"missing.7z"}) {
    RecordingCallback callback;
    HRESULT result = S_OK;
    EXPECT_EQ(ExtractArchive(TestArchive(name).c_str(), dest_.c_str(), &callback, &result), -1)
        << base::WideToUtf8(name);
    EXPECT_NE(result, S_OK);
    // Refused on opening: the callback hears nothing.
    EXPECT_TRUE(callback.events.empty()) << base::WideToUtf8(name);

    std::string data = ReadArchive(name);
    if (data.empty()) continue;
    EXPECT_EQ(ExtractBuffer(L"x", data.data(), static_cast<long long>(data.size()),
                            dest_.c_str(), &callback),
              -1)
        << base::WideToUtf8(name);
  }
  EXPECT_TRUE(List(dest_).empty());
}

TEST_F(ExtractTest, AlteredByteFailsAndLeavesNoDamagedFile) {
  RecordingCallback callback;
  HRESULT result = S_OK;
  EXPECT_EQ(
      ExtractArchive(TestArchive(L"altered.7z").c_str(), dest_.c_str(), &callback, &result), -1);
  EXPECT_EQ(result, kErrorDamagedItem);
  ASSERT_FALSE(callback.events.empty());
  EXPECT_EQ(callback.events.back(), L"end 0");
  // Damaged items are still reported to the caller.
  EXPECT_EQ(callback.begun.size(), callback.ended.size());
  for (const wchar_t* file : kNormalFiles) {
    std::wstring path = dest_ + L"\\" + file;
    if (Exists(path) && std::wstring(file) != L"empty.txt") {
      // Whatever was written must be intact.
      EXPECT_NE(ReadAll(path), "") << base::WideToUtf8(file);
    }
  }
  EXPECT_FALSE(Exists(dest_ + L"\\big.txt") && ReadAll(dest_ + L"\\big.txt") != ExpectedBig());
  EXPECT_FALSE(Exists(dest_ + L"\\readme.txt"));
}

}  // namespace
}  // namespace package
