#include "engine/delayed_move.h"

#include <cwchar>
#include <string>

#include "base/scoped_handle.h"
#include "engine/access_permission.h"
#include "log/smart_logger.h"

namespace engine {
namespace {

const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

std::wstring VolumeOf(const wchar_t* path) {
  wchar_t volume[MAX_PATH + 1];
  if (GetVolumePathNameW(path, volume, MAX_PATH + 1)) return volume;
  return std::wstring(path, wcsnlen(path, 3));
}

base::ScopedRegKey OpenSessionManager(REGSAM access) {
  base::ScopedRegKey key;
  LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, access, key.Receive());
  if (status != ERROR_SUCCESS) SetLastError(static_cast<DWORD>(status));
  return key;
}

// The move was denied: let the built-in Administrators (this elevated
// process) write the key for one retry, then put the key's list back as it
// was, whether or not the retry succeeded.
BOOL RetryWithPendingListGrant(const wchar_t* source, const wchar_t* destination, DWORD flags,
                               IDelayedMoveSystem* system) {
  std::vector<BYTE> original, granted;
  if (!system->ReadSessionManagerAccess(&original) || !WithPendingListGrant(original, &granted)) {
    LogUtils::SmartLog(L"pending list: session manager access list not usable, err=%lu",
                       GetLastError());
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!system->WriteSessionManagerAccess(granted)) {
    LogUtils::SmartLog(L"pending list: session manager access not granted, err=%lu", GetLastError());
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const BOOL moved = system->MoveAtRestart(source, destination, flags);
  const DWORD error = GetLastError();
  if (!system->WriteSessionManagerAccess(original)) {
    LogUtils::SmartLog(L"pending list: session manager access list not restored, err=%lu",
                       GetLastError());
  }
  SetLastError(error);
  return moved;
}

}  // namespace

BOOL CSystemDelayedMove::MoveAtRestart(const wchar_t* source, const wchar_t* destination,
                                    DWORD flags) {
  return MoveFileExW(source, destination, flags);
}

BOOL CSystemDelayedMove::ReadSessionManagerAccess(std::vector<BYTE>* descriptor) {
  base::ScopedRegKey key = OpenSessionManager(READ_CONTROL);
  if (!key) return FALSE;
  DWORD size = 0;
  LONG status = RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
  if (status != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    SetLastError(status == ERROR_SUCCESS ? ERROR_INVALID_SECURITY_DESCR : static_cast<DWORD>(status));
    return FALSE;
  }
  descriptor->assign(size, 0);
  status = RegGetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, descriptor->data(), &size);
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(status));
    return FALSE;
  }
  descriptor->resize(size);
  return TRUE;
}

BOOL CSystemDelayedMove::WriteSessionManagerAccess(const std::vector<BYTE>& descriptor) {
  if (descriptor.empty()) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  base::ScopedRegKey key = OpenSessionManager(READ_CONTROL | WRITE_DAC);
  if (!key) return FALSE;
  // RegSetKeySecurity changes this key only; SetNamedSecurityInfo would
  // rewrite the lists of every subkey as well.
  std::vector<BYTE> copy = descriptor;
  LONG status = RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, copy.data());
  if (status != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(status));
    return FALSE;
  }
  return TRUE;
}

bool WithPendingListGrant(const std::vector<BYTE>& descriptor, std::vector<BYTE>* granted) {
  std::vector<BYTE> original = descriptor;
  PSECURITY_DESCRIPTOR sd = original.data();
  if (original.empty() || !IsValidSecurityDescriptor(sd)) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return false;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted) ||
      !GetSecurityDescriptorControl(sd, &control, &revision)) {
    return false;
  }
  // Without a list everyone may write already; an entry would change nothing.
  if (!present || !dacl) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return false;
  }
  SidBuffer admins;
  if (!CAccessPermission().CreateWellKnownSid(WinBuiltinAdministratorsSid, &admins)) return false;
  ACL_SIZE_INFORMATION info = {};
  if (!GetAclInformation(dacl, &info, sizeof(info), AclSizeInformation)) return false;
  const DWORD acl_bytes = info.AclBytesInUse + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) +
                          GetLengthSid(admins.data());
  std::vector<DWORD> acl_buffer((acl_bytes + sizeof(DWORD) - 1) / sizeof(DWORD));
  auto* acl = reinterpret_cast<PACL>(acl_buffer.data());
  const DWORD acl_revision = dacl->AclRevision > ACL_REVISION ? dacl->AclRevision : ACL_REVISION;
  // No inheritance flags: the entry is for this key, not its subkeys.
  if (!InitializeAcl(acl, acl_bytes, acl_revision) ||
      !AddAccessAllowedAceEx(acl, acl_revision, 0, kPendingListAccess, admins.data())) {
    return false;
  }
  for (DWORD i = 0; i < info.AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace) ||
        !AddAce(acl, acl_revision, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize)) {
      return false;
    }
  }
  SECURITY_DESCRIPTOR absolute;
  const SECURITY_DESCRIPTOR_CONTROL kept = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;
  if (!InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&absolute, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&absolute, kept, control & kept)) {
    return false;
  }
  DWORD size = 0;
  MakeSelfRelativeSD(&absolute, nullptr, &size);
  if (size == 0) return false;
  granted->assign(size, 0);
  return MakeSelfRelativeSD(&absolute, granted->data(), &size) != FALSE;
}

bool OnSameVolume(const wchar_t* a, const wchar_t* b) {
  return _wcsicmp(VolumeOf(a).c_str(), VolumeOf(b).c_str()) == 0;
}

BOOL ScheduleMove(const wchar_t* source, const wchar_t* destination, DWORD flags) {
  CSystemDelayedMove system;
  return ScheduleMove(source, destination, flags, &system);
}

BOOL ScheduleMove(const wchar_t* source, const wchar_t* destination, DWORD flags,
                  IDelayedMoveSystem* system) {
  if (!source || !*source || (flags != kMoveAtRestart && flags != kMoveAtRestartReplacing)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (destination && !*destination) destination = nullptr;
  // Windows refuses a delayed move across volumes, Wine records it and then
  // fails at restart; refuse it here so both behave alike.
  if (destination && !OnSameVolume(source, destination)) {
    SetLastError(ERROR_NOT_SAME_DEVICE);
    return FALSE;
  }

  if (system->MoveAtRestart(source, destination, flags)) return TRUE;
  if (GetLastError() != ERROR_ACCESS_DENIED) return FALSE;
  return RetryWithPendingListGrant(source, destination, flags, system);
}

}  // namespace engine
