// Access entries on files and registry keys, used when Windows refuses to
// record a pending rename because the Session Manager key is locked down.
#pragma once

#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

namespace engine {

// A security identifier in a buffer that owns it.
using SidBuffer = std::vector<BYTE>;

class CAccessPermission {
 public:
  virtual ~CAccessPermission() = default;

  // A well-known identifier (WinBuiltinAdministratorsSid, WinWorldSid, ...).
  // CreateWellKnownSid is looked up at run time; false (last error set) when
  // it is missing or fails.
  bool CreateWellKnownSid(WELL_KNOWN_SID_TYPE type, SidBuffer* sid) const;

  // The identifier of an account name ("Administrators", "DOMAIN\user").
  bool AccountSid(const wchar_t* account, SidBuffer* sid) const;

  // The identifier of the account this process runs as.
  bool CurrentUserSid(SidBuffer* sid) const;

  // Puts one explicit, inheritable entry for `sid` with `mask` into the
  // object's access list. With SET_ACCESS and GRANT_ACCESS the explicit deny
  // entries of `sid` are removed first, so that they cannot override it.
  // `root` is HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or
  // HKEY_USERS.
  BOOL SetKeyAccess(HKEY root, const wchar_t* subkey, PSID sid, DWORD mask,
                    ACCESS_MODE mode = SET_ACCESS) const;
  BOOL SetFileAccess(const wchar_t* path, PSID sid, DWORD mask,
                     ACCESS_MODE mode = SET_ACCESS) const;

  // "MACHINE\SOFTWARE\x" for (HKEY_LOCAL_MACHINE, "SOFTWARE\x"); empty for a
  // root the named-object functions do not know.
  static std::wstring KeyObjectName(HKEY root, const wchar_t* subkey);

 private:
  BOOL SetObjectAccess(const std::wstring& name, SE_OBJECT_TYPE type, PSID sid, DWORD mask,
                       ACCESS_MODE mode) const;
};

}  // namespace engine
