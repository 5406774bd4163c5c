// Runs in a prefix that reports Windows 10, where signatures are checked. The
// sample libraries come from tests/shutdown: signed ones in
// shutdown_testdata\, the unsigned build beside this program.
#include "engine/browser_engine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/placement_test_support.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

using testing_support::ReadText;
using testing_support::ScopedTempDir;

constexpr int kSampleStartResult = 1841;

std::wstring BesideTest(const std::wstring& name) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}

class BrowserEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(install_.IsValid());
    ASSERT_TRUE(package::CreateDirectories(install_.Child(L"Utils"), nullptr));
  }
  // Places `sample` as the install's Utils\Lumbrel.dll.
  void Place(const std::wstring& sample) {
    ASSERT_TRUE(CopyFileW(BesideTest(sample).c_str(), Library().c_str(), FALSE)) << sample;
  }
  std::wstring Library() const { return install_.Child(L"Utils\\Lumbrel.dll"); }
  std::string StartArgument() const { return ReadText(install_.Child(L"Utils\\start_arg.txt")); }

  ScopedTempDir install_;
};

TEST_F(BrowserEngine, SignedLibraryIsStartedWithTheEngineVersion) {
  Place(L"shutdown_testdata\\Lumbrel.dll");
  int result = 0;
  EXPECT_TRUE(InstallBrowserEngine(install_.path(), &result));
  EXPECT_EQ(kSampleStartResult, result);
  EXPECT_EQ("3.3497.1841.0", StartArgument());
  // It stays loaded: the product's engine may still be running code of it.
  EXPECT_NE(nullptr, GetModuleHandleW(Library().c_str()));
}

TEST_F(BrowserEngine, InstallDirectoryWithTrailingBackslash) {
  Place(L"shutdown_testdata\\Lumbrel.dll");
  EXPECT_TRUE(InstallBrowserEngine(install_.path() + L"\\"));
  EXPECT_EQ("3.3497.1841.0", StartArgument());
}

TEST_F(BrowserEngine, UnsignedLibraryIsNeverLoaded) {
  Place(L"shutdown_lumbrel.dll");
  int result = -7;
  EXPECT_FALSE(InstallBrowserEngine(install_.path(), &result));
  EXPECT_EQ(-7, result);
  EXPECT_EQ("<missing>", StartArgument());
  EXPECT_EQ(nullptr, GetModuleHandleW(Library().c_str()));
  EXPECT_EQ(nullptr, GetModuleHandleW(L"Lumbrel.dll"));
}

TEST_F(BrowserEngine, LibraryChangedAfterSigningIsNeverLoaded) {
  Place(L"shutdown_testdata\\Lumbrel.dll");
  {
    // One byte of the code section, as a tampered download would have.
    HANDLE file = CreateFileW(Library().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    SetFilePointer(file, 1200, nullptr, FILE_BEGIN);
    BYTE byte = 0;
    DWORD done = 0;
    ReadFile(file, &byte, 1, &done, nullptr);
    byte ^= 0xFF;
    SetFilePointer(file, 1200, nullptr, FILE_BEGIN);
    EXPECT_TRUE(WriteFile(file, &byte, 1, &done, nullptr));
    CloseHandle(file);
  }
  EXPECT_FALSE(InstallBrowserEngine(install_.path()));
  EXPECT_EQ("<missing>", StartArgument());
  EXPECT_EQ(nullptr, GetModuleHandleW(Library().c_str()));
}

TEST_F(BrowserEngine, MissingLibraryIsSkipped) {
  EXPECT_FALSE(InstallBrowserEngine(install_.path()));
  EXPECT_FALSE(InstallBrowserEngine(install_.Child(L"nowhere")));
}

TEST_F(BrowserEngine, LibraryWithoutStartIsSkipped) {
  Place(L"shutdown_testdata\\Lumbrel_nostart.dll");
  int result = -7;
  EXPECT_FALSE(InstallBrowserEngine(install_.path(), &result));
  EXPECT_EQ(-7, result);
  EXPECT_EQ("<missing>", StartArgument());
}

TEST_F(BrowserEngine, OverlongPathIsSkipped) {
  EXPECT_FALSE(InstallBrowserEngine(L"C:\\" + std::wstring(MAX_PATH, L'x')));
}

}  // namespace
}  // namespace engine
