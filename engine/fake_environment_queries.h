// Drives and a token described by a test, for code that asks the machine
// through IEnvironmentQueries.
#pragma once

#include <windows.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "engine/environment_check.h"

namespace engine {

constexpr ULONGLONG kMiB = 1048576;
constexpr ULONGLONG kHuge = 500000 * kMiB;

struct FakeDrive {
  wchar_t letter;  // '*' in the tables: the temporary directory's drive
  UINT type;
  ULONGLONG total_free;
  ULONGLONG free_to_caller;
  bool query_fails;
};

inline FakeDrive Fixed(wchar_t letter, ULONGLONG total_free) {
  return {letter, DRIVE_FIXED, total_free, total_free, false};
}

// Describes drives and a token; the temporary directory is a real one. An
// empty `temp` makes TempPath fail.
class FakeQueries : public IEnvironmentQueries {
 public:
  std::vector<FakeDrive> drives;
  std::wstring temp;
  BOOL member = TRUE;
  bool membership_fails = false;
  bool asked_administrators = false;
  HANDLE asked_token = INVALID_HANDLE_VALUE;

  DWORD LogicalDriveStrings(DWORD length, wchar_t* buffer) override {
    std::wstring list;
    for (const auto& d : drives) list += std::wstring{d.letter, L':', L'\\', L'\0'};
    return Copy(list, length, buffer);
  }
  UINT DriveType(const wchar_t* root) override {
    const FakeDrive* d = Find(root);
    return d ? d->type : DRIVE_NO_ROOT_DIR;
  }
  BOOL DiskFreeSpace(const wchar_t* root, ULARGE_INTEGER* free_to_caller, ULARGE_INTEGER* total,
                     ULARGE_INTEGER* total_free) override {
    const FakeDrive* d = Find(root);
    if (!d || d->query_fails) return FALSE;
    if (free_to_caller) free_to_caller->QuadPart = d->free_to_caller;
    if (total) total->QuadPart = kHuge * 2;
    if (total_free) total_free->QuadPart = d->total_free;
    return TRUE;
  }
  DWORD TempPath(DWORD length, wchar_t* buffer) override { return Copy(temp, length, buffer); }
  BOOL TokenMembership(HANDLE token, PSID sid, BOOL* is_member) override {
    asked_token = token;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    asked_administrators = IsValidSid(sid) && *GetSidSubAuthorityCount(sid) == 2 &&
                           memcmp(GetSidIdentifierAuthority(sid), &nt, sizeof(nt)) == 0 &&
                           *GetSidSubAuthority(sid, 0) == SECURITY_BUILTIN_DOMAIN_RID &&
                           *GetSidSubAuthority(sid, 1) == DOMAIN_ALIAS_RID_ADMINS;
    // What a failed call leaves in the answer is not to be trusted.
    *is_member = membership_fails ? TRUE : member;
    return !membership_fails;
  }

 private:
  // As the system calls: the length without the final null, or the size
  // needed when the buffer is too small.
  static DWORD Copy(const std::wstring& text, DWORD length, wchar_t* buffer) {
    if (text.size() + 1 > length) return static_cast<DWORD>(text.size() + 1);
    text.copy(buffer, text.size());
    buffer[text.size()] = L'\0';
    return static_cast<DWORD>(text.size());
  }
  // Only an exact "X:\" root names a drive.
  const FakeDrive* Find(const wchar_t* root) const {
    if (!root || wcslen(root) != 3 || root[1] != L':' || root[2] != L'\\') return nullptr;
    for (const auto& d : drives)
      if (towupper(d.letter) == towupper(root[0])) return &d;
    return nullptr;
  }
};

}  // namespace engine
