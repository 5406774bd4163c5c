#include "trust/signature_check.h"

#include <shellapi.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <cwctype>

#include "base/md5.h"
#include "base/os_version.h"
#include "base/string_conv.h"
#include "base/system_library.h"
#include "generated/accepted_signers.h"
#include "trust/sign_info_collecter.h"

namespace {

// MD5 of the lower-case UTF-8 display names of the accepted signers, upper
// case as stored: whoever signed this build (the test certificate in a
// development build) and the further names the build was configured with.
constexpr const char* kBuiltInSignerDigests[] = {PELORIX_ACCEPTED_SIGNER_DIGESTS};

constexpr DWORD kMaxSignerName = 512;

// wintrust and crypt32 are not libraries Windows always takes from System32.
struct TrustApi {
  using VerifyFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
  using ProvDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
  using ProvSignerFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
  using ProvCertFn = CRYPT_PROVIDER_CERT*(WINAPI*)(CRYPT_PROVIDER_SGNR*, DWORD);
  using NameFn = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);
  VerifyFn verify = base::GetSystemProcAs<VerifyFn>(L"wintrust.dll", "WinVerifyTrust");
  ProvDataFn prov_data = base::GetSystemProcAs<ProvDataFn>(L"wintrust.dll", "WTHelperProvDataFromStateData");
  ProvSignerFn prov_signer =
      base::GetSystemProcAs<ProvSignerFn>(L"wintrust.dll", "WTHelperGetProvSignerFromChain");
  ProvCertFn prov_cert = base::GetSystemProcAs<ProvCertFn>(L"wintrust.dll", "WTHelperGetProvCertFromChain");
  NameFn name = base::GetSystemProcAs<NameFn>(L"crypt32.dll", "CertGetNameStringW");
  bool ok() const { return verify && prov_data && prov_signer && prov_cert && name; }
};

bool FileExists(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsWindows7OrOlder() {
  const base::NtVersion& v = base::CurrentNtVersion();
  return v.major < 6 || (v.major == 6 && v.minor <= 1);
}

// Closes the verification state on every path; the state is allocated even
// when verification fails.
class TrustSession {
 public:
  TrustSession(const TrustApi& api, const wchar_t* path) : api_(api) {
    file_.cbStruct = sizeof(file_);
    file_.pcwszFilePath = path;
    data_.cbStruct = sizeof(data_);
    data_.dwUIChoice = WTD_UI_NONE;
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &file_;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    data_.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    result_ = api_.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_);
  }
  ~TrustSession() {
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    api_.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_);
  }
  bool Trusted() const { return result_ == ERROR_SUCCESS || result_ == static_cast<LONG>(CERT_E_EXPIRED); }
  HANDLE state() const { return data_.hWVTStateData; }

 private:
  const TrustApi& api_;
  WINTRUST_FILE_INFO file_ = {};
  WINTRUST_DATA data_ = {};
  LONG result_ = -1;
};

}  // namespace

std::wstring VerifiedSignerName(const wchar_t* path) {
  TrustApi api;
  if (!api.ok() || !path) return std::wstring();
  TrustSession session(api, path);
  if (!session.Trusted()) return std::wstring();
  CRYPT_PROVIDER_DATA* data = api.prov_data(session.state());
  CRYPT_PROVIDER_SGNR* signer = data ? api.prov_signer(data, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* cert = signer ? api.prov_cert(signer, 0) : nullptr;
  if (!cert || !cert->pCert) return std::wstring();
  wchar_t name[kMaxSignerName + 1] = {};
  const DWORD n = api.name(cert->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, kMaxSignerName + 1);
  if (n <= 1 || n > kMaxSignerName) return std::wstring();
  return name;
}

bool SignerAccepted(const std::wstring& name, bool allow_refresh) {
  std::wstring lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
  const std::string utf8 = base::WideToUtf8(lower);
  const std::string digest = base::Md5Hex(utf8.data(), utf8.size());
  for (const char* accepted : kBuiltInSignerDigests) {
    if (_stricmp(accepted, digest.c_str()) == 0) return true;
  }
  return !name.empty() && trust::SignInfoCollecter(name).Accepted(allow_refresh);
}

BOOL SignatureCheck(const wchar_t* path, BOOL allow_refresh) {
  if (!path || !FileExists(path)) return FALSE;
  if (IsWindows7OrOlder()) return TRUE;
  if (GetModuleHandleW(path)) return TRUE;
  const std::wstring signer = VerifiedSignerName(path);
  return !signer.empty() && SignerAccepted(signer, allow_refresh != FALSE);
}

HMODULE CheckedLoadLibrary(const wchar_t* path) {
  return SignatureCheck(path, TRUE) ? LoadLibraryW(path) : nullptr;
}

HMODULE CheckedLoadLibraryEx(const wchar_t* path, DWORD flags) {
  return SignatureCheck(path, TRUE) ? LoadLibraryExW(path, nullptr, flags) : nullptr;
}

HINSTANCE CheckedShellExecute(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* params,
                              const wchar_t* dir, int show) {
  if (!SignatureCheck(file, TRUE)) return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_ACCESSDENIED));
  return ShellExecuteW(owner, verb, file, params, dir, show);
}
