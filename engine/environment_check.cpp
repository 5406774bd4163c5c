#include "engine/environment_check.h"

#include <cwchar>
#include <cwctype>
#include <memory>
#include <string>
#include <type_traits>

#include "engine/install_errors.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

// Both lists are read into buffers of this many characters.
constexpr DWORD kBufferChars = 1024;

struct SidDeleter {
  void operator()(void* sid) const { FreeSid(sid); }
};
using ScopedSid = std::unique_ptr<std::remove_pointer_t<PSID>, SidDeleter>;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "X:\" for drive letter X.
std::wstring DriveRoot(wchar_t letter) { return std::wstring{letter, L':', L'\\'}; }

// Total free bytes of the volume, not the caller's quota: the installation is
// not limited by the user's quota of the account that runs the setup.
bool FixedDriveHasFree(IEnvironmentQueries* queries, const std::wstring& root,
                       ULONGLONG* free_bytes) {
  if (queries->DriveType(root.c_str()) != DRIVE_FIXED) return false;
  ULARGE_INTEGER to_caller{}, total{}, total_free{};
  if (!queries->DiskFreeSpace(root.c_str(), &to_caller, &total, &total_free)) return false;
  *free_bytes = total_free.QuadPart;
  return true;
}

bool HasDiskSpace(IEnvironmentQueries* queries) {
  wchar_t drives[kBufferChars + 1] = {};
  DWORD len = queries->LogicalDriveStrings(kBufferChars, drives);
  // A result beyond the buffer is the size it would need: nothing was written.
  if (len == 0 || len > kBufferChars) return false;
  for (const wchar_t* entry = drives; entry < drives + len && *entry;
       entry += wcslen(entry) + 1) {
    ULONGLONG free_bytes = 0;
    if (FixedDriveHasFree(queries, DriveRoot(entry[0]), &free_bytes) &&
        free_bytes > kMinFreeDiskBytes)
      return true;
  }
  return false;
}

// The temporary directory, or false when it cannot be read.
bool ReadTempPath(IEnvironmentQueries* queries, std::wstring* dir) {
  wchar_t buffer[kBufferChars + 1] = {};
  DWORD len = queries->TempPath(kBufferChars, buffer);
  if (len == 0 || len >= kBufferChars) return false;
  dir->assign(buffer, len);
  return true;
}

// Only a directory on a drive letter qualifies; a UNC share is refused here.
bool IsDriveLetterPath(const std::wstring& dir) {
  return dir.size() > 2 && iswalpha(dir[0]) && dir[1] == L':' && IsSeparator(dir[2]);
}

bool TempIsWritable(const std::wstring& dir) {
  if (!IsDriveLetterPath(dir)) return false;
  return package::ProbeWritable(dir, nullptr);
}

// The drive is judged from an unused temporary name, as the staging will be.
bool TempHasSpace(IEnvironmentQueries* queries, const std::wstring& dir) {
  std::wstring path;
  if (!package::NewTempPathIn(dir, nullptr, &path)) return false;
  ULONGLONG free_bytes = 0;
  return FixedDriveHasFree(queries, DriveRoot(path[0]), &free_bytes) &&
         free_bytes >= kMinFreeTempBytes;
}

// A filtered token under User Account Control holds Administrators only for
// deny, so CheckTokenMembership answers "not a member" for it.
bool IsAdministrator(IEnvironmentQueries* queries) {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID raw = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &raw))
    return false;
  ScopedSid admins(raw);
  BOOL member = FALSE;
  if (!queries->TokenMembership(nullptr, admins.get(), &member)) return false;
  return member != FALSE;
}

}  // namespace

DWORD CSystemEnvironmentQueries::LogicalDriveStrings(DWORD length, wchar_t* buffer) {
  return GetLogicalDriveStringsW(length, buffer);
}

UINT CSystemEnvironmentQueries::DriveType(const wchar_t* root) { return GetDriveTypeW(root); }

BOOL CSystemEnvironmentQueries::DiskFreeSpace(const wchar_t* root, ULARGE_INTEGER* free_to_caller,
                                              ULARGE_INTEGER* total,
                                              ULARGE_INTEGER* total_free) {
  return GetDiskFreeSpaceExW(root, free_to_caller, total, total_free);
}

DWORD CSystemEnvironmentQueries::TempPath(DWORD length, wchar_t* buffer) {
  return GetTempPathW(length, buffer);
}

BOOL CSystemEnvironmentQueries::TokenMembership(HANDLE token, PSID sid, BOOL* is_member) {
  return CheckTokenMembership(token, sid, is_member);
}

int CheckEnvironment(IEnvironmentQueries* queries) {
  if (!HasDiskSpace(queries)) return kEnvNoDiskSpace;
  std::wstring temp;
  if (!ReadTempPath(queries, &temp) || !TempIsWritable(temp)) return kEnvTempNotWritable;
  if (!TempHasSpace(queries, temp)) return kEnvTempTooSmall;
  if (!IsAdministrator(queries)) return kEnvNotAdmin;
  return kEnvOk;
}

int CheckEnvironment() {
  CSystemEnvironmentQueries system;
  return CheckEnvironment(&system);
}

}  // namespace engine
