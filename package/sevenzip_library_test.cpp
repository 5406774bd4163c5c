#include "package/sevenzip_library.h"

#include <gtest/gtest.h>

#include <string>

#include "package/extract_7z.h"
#include "package/temp_workspace.h"

namespace package {
namespace {

std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  DWORD len = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, len);
  return dir.substr(0, dir.find_last_of(L'\\'));
}

class CountingCallback : public Extract7z::IExtractCallback {
 public:
  int OnExtractBegin(const wchar_t*, const wchar_t*) override { return ++calls; }
  int OnItemBegin(unsigned, unsigned, const wchar_t*, bool, const FILETIME*) override {
    return ++calls;
  }
  int OnItemEnd(unsigned, unsigned, const wchar_t*, bool) override { return ++calls; }
  int OnExtractEnd(int) override { return ++calls; }
  int calls = 0;
};

// Starts each test without a held library, as a fresh process would.
class SevenZipLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CSingletonT<CSevenZipLibrary>::Release();
    ASSERT_TRUE(NewTempPath(&dest_));
  }
  void TearDown() override {
    DeleteTree(dest_);
    CSingletonT<CSevenZipLibrary>::Release();
  }
  std::wstring dest_;
};

TEST_F(SevenZipLibraryTest, WithoutLibraryExtractionFailsSilently) {
  EXPECT_FALSE(CSevenZipLibrary::GetInstance()->IsLoaded());
  CountingCallback callback;
  HRESULT result = S_OK;
  std::wstring archive = ExeDir() + L"\\package_testdata\\normal.7z";
  EXPECT_EQ(ExtractArchive(archive.c_str(), dest_.c_str(), &callback, &result), -1);
  EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(callback.calls, 0);
}

TEST_F(SevenZipLibraryTest, LoadsOnlyByFullPathAndOnlyOnce) {
  // A bare name would go through the search order; it is refused outright.
  EXPECT_FALSE(Load7zLibrary(L"7z.dll"));
  EXPECT_FALSE(Load7zLibrary(L"."));
  EXPECT_FALSE(Load7zLibrary(L""));
  EXPECT_FALSE(Load7zLibrary(nullptr));
  EXPECT_FALSE(Load7zLibrary((ExeDir() + L"\\no_such_7z.dll").c_str()));
  EXPECT_FALSE(CSevenZipLibrary::GetInstance()->IsLoaded());

  std::wstring path = ExeDir() + L"\\7z.dll";
  ASSERT_TRUE(Load7zLibrary(path.c_str()));
  EXPECT_EQ(GetModuleHandleW(path.c_str()) != nullptr, true);
  EXPECT_NE(CSevenZipLibrary::GetInstance()->GetProc("CreateObject"), nullptr);
  EXPECT_EQ(CSevenZipLibrary::GetInstance()->GetProc("NoSuchExport"), nullptr);
  // Held already: any later request succeeds without loading anything.
  EXPECT_TRUE(Load7zLibrary((ExeDir() + L"\\no_such_7z.dll").c_str()));
  EXPECT_TRUE(Load7zLibrary(L"7z.dll"));
}

DWORD g_overwrite_error = ERROR_SUCCESS;
DWORD g_rename_error = ERROR_SUCCESS;

// Tries to put other bytes in place of the checked library.
void SwapCheckedLibrary(const wchar_t* path) {
  const std::wstring other = ExeDir() + L"\\package_testdata\\normal.7z";
  g_overwrite_error = CopyFileW(other.c_str(), path, FALSE) ? ERROR_SUCCESS : GetLastError();
  const std::wstring aside = std::wstring(path) + L".old";
  g_rename_error = MoveFileW(path, aside.c_str()) ? ERROR_SUCCESS : GetLastError();
  if (g_rename_error == ERROR_SUCCESS) CopyFileW(other.c_str(), path, FALSE);
}

bool Accept(const wchar_t*) { return true; }
bool Refuse(const wchar_t*) { return false; }

TEST_F(SevenZipLibraryTest, CheckedFileIsTheLoadedFile) {
  ASSERT_TRUE(CreateDirectoryW(dest_.c_str(), nullptr));
  const std::wstring library = dest_ + L"\\7z.dll";
  ASSERT_TRUE(CopyFileW((ExeDir() + L"\\7z.dll").c_str(), library.c_str(), FALSE));
  CSevenZipLibrary* holder = CSevenZipLibrary::GetInstance();
  auto previous = SetLibraryCheckedHookForTesting(&SwapCheckedLibrary);
  EXPECT_FALSE(holder->LoadVerified(library.c_str(), &Refuse));
  EXPECT_FALSE(holder->LoadVerified(library.c_str(), nullptr));
  EXPECT_FALSE(holder->IsLoaded());
  g_overwrite_error = g_rename_error = ERROR_SUCCESS;
  const bool loaded = holder->LoadVerified(library.c_str(), &Accept);
  SetLibraryCheckedHookForTesting(previous);
  EXPECT_EQ(g_overwrite_error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(g_rename_error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  ASSERT_TRUE(loaded);
  EXPECT_NE(holder->GetProc("CreateObject"), nullptr);
}

}  // namespace
}  // namespace package
