// What the file system reads back of an access list, for the tests of the
// protected directories.
#pragma once

#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>

#include <string>

// Whether an entry of the stored access list of `path` grants any of `mask`
// to someone other than SYSTEM, Administrators or the owner.
inline bool GrantsOthers(const std::wstring& path, DWORD mask) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  EXPECT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                  &owner, nullptr, &dacl, nullptr, &sd),
            static_cast<DWORD>(ERROR_SUCCESS));
  bool others = dacl == nullptr;  // a null list grants everyone everything
  BYTE admins[SECURITY_MAX_SID_SIZE], system[SECURITY_MAX_SID_SIZE];
  DWORD a = sizeof(admins), s = sizeof(system);
  CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, admins, &a);
  CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &s);
  for (WORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = &ace->SidStart;
    if (!EqualSid(sid, admins) && !EqualSid(sid, system) && !EqualSid(sid, owner) && (ace->Mask & mask)) others = true;
  }
  LocalFree(sd);
  return others;
}
