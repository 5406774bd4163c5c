// Runs in a prefix that reports Windows 7, where every existing file passes.
#include "trust/signature_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring TestFile(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"trust_testdata\\" + name;
}

TEST(SignatureCheckWin7, EveryExistingFilePasses) {
  for (const wchar_t* file : {L"unsigned.exe", L"signed_other.exe", L"altered.exe", L"signed_accepted.exe"}) {
    EXPECT_TRUE(SignatureCheck(TestFile(file).c_str(), TRUE)) << std::string(file, file + wcslen(file));
  }
  EXPECT_FALSE(SignatureCheck(TestFile(L"missing.exe").c_str(), TRUE));
}

}  // namespace
