// Access entries on files and registry keys: the lists of installed files
// and folders, and the entries the pending rename fallback works with.
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

// The list an install directory created outside Program Files gets, the same
// protection Program Files has: the drive's own entries (often "Authenticated
// Users: Modify") would let any user replace what the product runs elevated.
// Administrators and SYSTEM full control, Users read and execute, the creator
// of a subobject full control over it; inherited by everything below.
constexpr wchar_t kInstallDirSddl[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)";

// The access lists of what the setup installs. Tests stand in for it: Wine
// derives a file's list from its Unix mode and applies no inheritance, so it
// cannot show what Windows does.
class IFileSecurity {
 public:
  virtual ~IFileSecurity() = default;
  // Drops the explicit entries and the protection of the list of `path`, so
  // that it carries just what its directory passes on. Last error on failure.
  virtual BOOL ResetToInherited(const wchar_t* path) = 0;
  // Creates the directory `path` (its parent exists) with kInstallDirSddl.
  // Last error on failure; ERROR_ALREADY_EXISTS when it is there already.
  virtual BOOL CreateProtectedDirectory(const wchar_t* path) = 0;
};

// The real file system.
class CSystemFileSecurity : public IFileSecurity {
 public:
  BOOL ResetToInherited(const wchar_t* path) override;
  BOOL CreateProtectedDirectory(const wchar_t* path) override;
};

// A process-wide CSystemFileSecurity (it holds no state).
IFileSecurity* SystemFileSecurity();

}  // namespace engine
