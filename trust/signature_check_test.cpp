// Runs in a prefix that reports Windows 10, where signatures are checked.
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

TEST(SignatureCheck, AcceptedSignerPassesOthersFail) {
  struct Case {
    const wchar_t* file;
    BOOL expected;
  } cases[] = {
      {L"signed_accepted.exe", TRUE},
      {L"signed_expired.exe", TRUE},  // an expired certificate of an accepted signer
      {L"signed_other.exe", FALSE},   // valid signature, signer not accepted
      {L"unsigned.exe", FALSE},
      {L"altered.exe", FALSE},  // changed after signing
      {L"missing.exe", FALSE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SignatureCheck(TestFile(c.file).c_str(), TRUE), c.expected)
        << std::string(c.file, c.file + wcslen(c.file));
  }
  EXPECT_FALSE(SignatureCheck(nullptr, TRUE));
}

TEST(SignatureCheck, SignerNameIsReadFromTheLeafCertificate) {
  EXPECT_EQ(VerifiedSignerName(TestFile(L"signed_accepted.exe").c_str()), L"Varnock Test Code Signing");
  EXPECT_EQ(VerifiedSignerName(TestFile(L"signed_other.exe").c_str()), L"Someone Else Entirely");
  EXPECT_EQ(VerifiedSignerName(TestFile(L"unsigned.exe").c_str()), L"");
  EXPECT_EQ(VerifiedSignerName(TestFile(L"altered.exe").c_str()), L"");
}

TEST(SignatureCheck, SignerNamesCompareWithoutCase) {
  EXPECT_TRUE(SignerAccepted(L"VARNOCK test CODE signing", true));
  EXPECT_FALSE(SignerAccepted(L"Varnock Test Code Signing ", true));
  EXPECT_FALSE(SignerAccepted(L"", true));
}

TEST(SignatureCheck, GuardedLoadAndStartRefuseUnacceptedFiles) {
  EXPECT_EQ(CheckedLoadLibrary(TestFile(L"unsigned.exe").c_str()), nullptr);
  EXPECT_EQ(CheckedLoadLibraryEx(TestFile(L"signed_other.exe").c_str(), LOAD_LIBRARY_AS_DATAFILE), nullptr);
  HINSTANCE r = CheckedShellExecute(nullptr, L"open", TestFile(L"unsigned.exe").c_str(), nullptr, nullptr, SW_HIDE);
  EXPECT_LE(reinterpret_cast<INT_PTR>(r), 32);
  HMODULE m = CheckedLoadLibraryEx(TestFile(L"signed_accepted.exe").c_str(), LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_NE(m, nullptr);
  if (m) FreeLibrary(m);
}

TEST(SignatureCheck, ModuleAlreadyLoadedPasses) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);  // unsigned, but loaded
  EXPECT_TRUE(SignatureCheck(self, TRUE));
}

}  // namespace
