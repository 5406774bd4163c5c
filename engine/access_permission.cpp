#include "engine/access_permission.h"

#include <cwchar>

#include "base/system_library.h"
#include "package/staging_dir.h"

namespace engine {
namespace {

// SECURITY_MAX_SID_SIZE: enough for every well-known identifier.
constexpr DWORD kWellKnownSidBytes = 68;
// UNLEN + 2: a user name and its terminator.
constexpr DWORD kUserNameChars = 261;


// Owns memory the security functions hand out with LocalAlloc.
class ScopedLocal {
 public:
  ScopedLocal() = default;
  ~ScopedLocal() {
    if (p_) LocalFree(p_);
  }
  ScopedLocal(const ScopedLocal&) = delete;
  ScopedLocal& operator=(const ScopedLocal&) = delete;
  void** Receive() { return &p_; }
  void* Get() const { return p_; }

 private:
  void* p_ = nullptr;
};

// Removes the explicit deny entries of `sid` in place; inherited ones belong
// to the parent and are left to it.
void RemoveExplicitDenies(PACL acl, PSID sid) {
  if (!acl) return;
  for (int i = static_cast<int>(acl->AceCount) - 1; i >= 0; --i) {
    void* ace = nullptr;
    if (!GetAce(acl, static_cast<DWORD>(i), &ace)) continue;
    auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_DENIED_ACE_TYPE || (header->AceFlags & INHERITED_ACE)) continue;
    auto* deny = static_cast<ACCESS_DENIED_ACE*>(ace);
    if (EqualSid(reinterpret_cast<PSID>(&deny->SidStart), sid)) DeleteAce(acl, static_cast<DWORD>(i));
  }
}

}  // namespace

bool CAccessPermission::CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, SidBuffer* sid) const {
  using CreateWellKnownSidFn = BOOL(WINAPI*)(WELL_KNOWN_SID_TYPE, PSID, PSID, DWORD*);
  auto create = base::GetSystemProcAs<CreateWellKnownSidFn>(L"advapi32.dll", "CreateWellKnownSid");
  if (!create) return false;
  SidBuffer buffer(kWellKnownSidBytes);
  DWORD size = kWellKnownSidBytes;
  if (!create(type, nullptr, buffer.data(), &size)) return false;
  buffer.resize(size);
  *sid = std::move(buffer);
  return true;
}

bool CAccessPermission::AccountSid(const wchar_t* account, SidBuffer* sid) const {
  if (!account || !*account) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  DWORD sid_size = 0;
  DWORD domain_chars = 0;
  SID_NAME_USE use;
  LookupAccountNameW(nullptr, account, nullptr, &sid_size, nullptr, &domain_chars, &use);
  if (sid_size == 0) return false;
  SidBuffer buffer(sid_size);
  std::wstring domain(domain_chars + 1, L'\0');
  domain_chars = static_cast<DWORD>(domain.size());
  if (!LookupAccountNameW(nullptr, account, buffer.data(), &sid_size, &domain[0], &domain_chars,
                          &use))
    return false;
  *sid = std::move(buffer);
  return true;
}

bool CAccessPermission::CurrentUserSid(SidBuffer* sid) const {
  wchar_t name[kUserNameChars] = {};
  DWORD chars = kUserNameChars;
  if (!GetUserNameW(name, &chars)) return false;
  return AccountSid(name, sid);
}

std::wstring CAccessPermission::KeyObjectName(HKEY root, const wchar_t* subkey) {
  const wchar_t* root_name = nullptr;
  if (root == HKEY_CLASSES_ROOT) root_name = L"CLASSES_ROOT";
  else if (root == HKEY_CURRENT_USER) root_name = L"CURRENT_USER";
  else if (root == HKEY_LOCAL_MACHINE) root_name = L"MACHINE";
  else if (root == HKEY_USERS) root_name = L"USERS";
  if (!root_name) return std::wstring();
  std::wstring name = root_name;
  if (subkey && *subkey) {
    name += L'\\';
    name += subkey;
  }
  return name;
}

BOOL CAccessPermission::SetKeyAccess(HKEY root, const wchar_t* subkey, PSID sid, DWORD mask,
                                     ACCESS_MODE mode) const {
  std::wstring name = KeyObjectName(root, subkey);
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return SetObjectAccess(name, SE_REGISTRY_KEY, sid, mask, mode);
}

BOOL CAccessPermission::SetFileAccess(const wchar_t* path, PSID sid, DWORD mask,
                                      ACCESS_MODE mode) const {
  if (!path || !*path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return SetObjectAccess(path, SE_FILE_OBJECT, sid, mask, mode);
}

BOOL CAccessPermission::SetObjectAccess(const std::wstring& name, SE_OBJECT_TYPE type, PSID sid,
                                        DWORD mask, ACCESS_MODE mode) const {
  if (!sid || !IsValidSid(sid)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  std::wstring object = name;  // the functions take a non-const name
  PACL old_acl = nullptr;
  ScopedLocal descriptor;
  DWORD err = GetNamedSecurityInfoW(&object[0], type, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &old_acl, nullptr,
                                    reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.Receive()));
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  if (mode == SET_ACCESS || mode == GRANT_ACCESS) RemoveExplicitDenies(old_acl, sid);

  // The entry names the trustee by identifier: a name lookup would add a
  // failure (unnamed or foreign accounts) without changing what is written.
  EXPLICIT_ACCESSW entry = {};
  entry.grfAccessPermissions = mask;
  entry.grfAccessMode = mode;
  entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
  entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);

  ScopedLocal new_acl;
  err = SetEntriesInAclW(1, &entry, old_acl, reinterpret_cast<PACL*>(new_acl.Receive()));
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  err = SetNamedSecurityInfoW(&object[0], type, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              static_cast<PACL>(new_acl.Get()), nullptr);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  return TRUE;
}

BOOL CSystemFileSecurity::ResetToInherited(const wchar_t* path) {
  if (!path || !*path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A rename keeps the list an object had where it came from (the staging
  // directory's Administrators-and-SYSTEM list, or the user's temporary
  // folder's). Writing an empty, unprotected list makes SetNamedSecurityInfo
  // merge in the entries the parent directory passes on, and only those.
  ACL empty;
  if (!InitializeAcl(&empty, sizeof(empty), ACL_REVISION)) return FALSE;
  std::wstring object = path;
  DWORD err = SetNamedSecurityInfoW(&object[0], SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &empty, nullptr);
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return FALSE;
  }
  return TRUE;
}

BOOL CSystemFileSecurity::CreateProtectedDirectory(const wchar_t* path) {
  if (!path || !*path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Given at creation, so that there is no moment in which the drive's
  // entries let a user into the new directory.
  return package::CreateDirectoryWithList(path, kInstallDirSddl) ? TRUE : FALSE;
}

IFileSecurity* SystemFileSecurity() {
  static CSystemFileSecurity security;
  return &security;
}

}  // namespace engine
