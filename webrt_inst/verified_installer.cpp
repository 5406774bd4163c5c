#include "webrt_inst/verified_installer.h"

#include <softpub.h>
#include <wintrust.h>

#include "base/system_library.h"
#include "log/logger.h"
#include "webrt_inst/file_md5.h"

namespace webrt {
namespace {

// WinVerifyTrust on the open handle rather than the path, so the signature
// checked is that of the bytes we hold. wintrust is not a known DLL.
LONG VerifyAuthenticode(const std::wstring& path, HANDLE file) {
  using VerifyFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
  const auto verify = base::GetSystemProcAs<VerifyFn>(L"wintrust.dll", "WinVerifyTrust");
  if (!verify) return static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN);
  WINTRUST_FILE_INFO info = {};
  info.cbStruct = sizeof(info);
  info.pcwszFilePath = path.c_str();
  info.hFile = file;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  // The state exists even after a failed verification.
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return result;
}

}  // namespace

InstallerCheck VerifiedInstaller::Open(const std::wstring& path, const std::wstring& md5,
                                       std::unique_ptr<VerifiedInstaller>* out) {
  out->reset();
  // No write or delete sharing: while this handle lives the file cannot be
  // changed, replaced or renamed. A link is opened as itself and refused; the
  // start would follow it to a file we do not hold.
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!file.IsValid() || !GetFileInformationByHandle(file.Get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
      info.nNumberOfLinks != 1) {
    LOG_ERR << "installer unreadable, err=" << GetLastError() << " path:" << path;
    return InstallerCheck::kUnreadable;
  }
  if (!md5.empty()) {
    if (!SameMd5(HandleMd5(file.Get()), md5)) {
      LOG_ERR << "installer md5 mismatch, path:" << path;
      return InstallerCheck::kMd5Mismatch;
    }
  }
  const LONG trust = VerifyAuthenticode(path, file.Get());
  if (trust != ERROR_SUCCESS) {
    LOG_ERR << "installer signature invalid, err=0x" << std::hex << static_cast<unsigned long>(trust)
            << std::dec << " path:" << path;
    return InstallerCheck::kUntrusted;
  }
  out->reset(new VerifiedInstaller(path, std::move(file)));
  return InstallerCheck::kPassed;
}

}  // namespace webrt
