#include "engine/access_permission.h"

#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/registry.h"
#include "engine/placement_test_support.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

using testing_support::ScopedTempDir;
using testing_support::SidText;
using testing_support::WriteText;


struct Ace {
  BYTE type;
  BYTE flags;
  DWORD mask;
  std::wstring sid;
};

// The object's access entries, read back (Wine stores them without
// enforcing them).
std::vector<Ace> ReadAces(const std::wstring& name, SE_OBJECT_TYPE type) {
  std::vector<Ace> aces;
  std::wstring object = name;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(&object[0], type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return aces;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) continue;
    auto* header = static_cast<ACE_HEADER*>(ace);
    // Allowed and denied entries share their layout.
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    aces.push_back({header->AceType, header->AceFlags, entry->Mask,
                    SidText(reinterpret_cast<PSID>(&entry->SidStart))});
  }
  LocalFree(descriptor);
  return aces;
}

int CountAces(const std::vector<Ace>& aces, BYTE type, const std::wstring& sid) {
  int n = 0;
  for (const Ace& ace : aces) n += (ace.type == type && ace.sid == sid) ? 1 : 0;
  return n;
}

// Adds an explicit deny entry the way another tool might have left one.
bool AddDeny(const std::wstring& name, SE_OBJECT_TYPE type, PSID sid) {
  std::wstring object = name;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(&object[0], type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  EXPLICIT_ACCESSW deny = {};
  deny.grfAccessPermissions = GENERIC_WRITE;
  deny.grfAccessMode = DENY_ACCESS;
  deny.grfInheritance = NO_INHERITANCE;
  deny.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  deny.Trustee.ptstrName = static_cast<LPWSTR>(sid);
  PACL merged = nullptr;
  bool ok = SetEntriesInAclW(1, &deny, acl, &merged) == ERROR_SUCCESS &&
            SetNamedSecurityInfoW(&object[0], type, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  merged, nullptr) == ERROR_SUCCESS;
  LocalFree(merged);
  LocalFree(descriptor);
  return ok;
}

TEST(AccessPermission, KeyObjectNames) {
  struct {
    HKEY root;
    const wchar_t* subkey;
    const wchar_t* expected;
  } cases[] = {
      {HKEY_CLASSES_ROOT, L".txt", L"CLASSES_ROOT\\.txt"},
      {HKEY_CURRENT_USER, L"Software\\X", L"CURRENT_USER\\Software\\X"},
      {HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
       L"MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"},
      {HKEY_USERS, L".DEFAULT", L"USERS\\.DEFAULT"},
      {HKEY_LOCAL_MACHINE, L"", L"MACHINE"},
      {HKEY_CURRENT_CONFIG, L"System", L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, CAccessPermission::KeyObjectName(c.root, c.subkey)) << c.expected;
}

TEST(AccessPermission, WellKnownIdentifiers) {
  struct {
    WELL_KNOWN_SID_TYPE type;
    const wchar_t* text;
  } cases[] = {
      {WinBuiltinAdministratorsSid, L"S-1-5-32-544"},
      {WinWorldSid, L"S-1-1-0"},
      {WinLocalSystemSid, L"S-1-5-18"},
  };
  CAccessPermission permission;
  for (const auto& c : cases) {
    SidBuffer sid;
    ASSERT_TRUE(permission.CreateWellKnownSid(c.type, &sid)) << c.text;
    EXPECT_EQ(c.text, SidText(sid.data()));
    EXPECT_EQ(GetLengthSid(sid.data()), sid.size());
  }
}

TEST(AccessPermission, AccountNamesAndTheCurrentUser) {
  CAccessPermission permission;
  SidBuffer admins;
  ASSERT_TRUE(permission.AccountSid(L"Administrators", &admins));
  EXPECT_EQ(L"S-1-5-32-544", SidText(admins.data()));

  SidBuffer user;
  ASSERT_TRUE(permission.CurrentUserSid(&user));
  EXPECT_TRUE(IsValidSid(user.data()));

  SidBuffer none;
  EXPECT_FALSE(permission.AccountSid(L"NoSuchAccount-7f3a", &none));
  EXPECT_FALSE(permission.AccountSid(L"", &none));
  EXPECT_TRUE(none.empty());
}

// The deny entry of the identifier goes, another identifier's deny entry
// stays, one inheritable allow entry with the mask is added. Checked on a
// registry key, where Wine keeps the whole list.
TEST(AccessPermission, SetKeyAccessReplacesOwnDenyEntries) {
  CAccessPermission permission;
  SidBuffer everyone, admins;
  ASSERT_TRUE(permission.CreateWellKnownSid(WinWorldSid, &everyone));
  ASSERT_TRUE(permission.CreateWellKnownSid(WinBuiltinAdministratorsSid, &admins));

  std::wstring guid;
  ASSERT_TRUE(package::NewGuidText(&guid));
  std::wstring subkey = L"Software\\PlacementAclTest\\" + guid;
  ASSERT_TRUE(base::RegWriteDword(HKEY_CURRENT_USER, subkey.c_str(), L"v", 1));
  std::wstring object = CAccessPermission::KeyObjectName(HKEY_CURRENT_USER, subkey.c_str());

  ASSERT_TRUE(AddDeny(object, SE_REGISTRY_KEY, everyone.data()));
  ASSERT_TRUE(AddDeny(object, SE_REGISTRY_KEY, admins.data()));
  ASSERT_EQ(1, CountAces(ReadAces(object, SE_REGISTRY_KEY), ACCESS_DENIED_ACE_TYPE, L"S-1-1-0"));

  ASSERT_TRUE(permission.SetKeyAccess(HKEY_CURRENT_USER, subkey.c_str(), everyone.data(), 0xF003F))
      << GetLastError();

  std::vector<Ace> aces = ReadAces(object, SE_REGISTRY_KEY);
  EXPECT_EQ(0, CountAces(aces, ACCESS_DENIED_ACE_TYPE, L"S-1-1-0"));
  EXPECT_EQ(1, CountAces(aces, ACCESS_DENIED_ACE_TYPE, L"S-1-5-32-544"));
  ASSERT_EQ(1, CountAces(aces, ACCESS_ALLOWED_ACE_TYPE, L"S-1-1-0"));
  for (const Ace& ace : aces) {
    if (ace.type != ACCESS_ALLOWED_ACE_TYPE || ace.sid != L"S-1-1-0") continue;
    EXPECT_EQ(0xF003Fu, ace.mask);
    EXPECT_EQ(CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE,
              ace.flags & (CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE));
  }

  // Revoking takes the identifier's entries away again.
  ASSERT_TRUE(permission.SetKeyAccess(HKEY_CURRENT_USER, subkey.c_str(), everyone.data(), 0,
                                      REVOKE_ACCESS));
  EXPECT_EQ(0, CountAces(ReadAces(object, SE_REGISTRY_KEY), ACCESS_ALLOWED_ACE_TYPE, L"S-1-1-0"));
  base::RegRemoveTree(HKEY_CURRENT_USER, L"Software\\PlacementAclTest");
}

// Wine keeps a file's list as Unix mode bits where the file system has no
// extended attributes, so only the call's success can be checked here.
TEST(AccessPermission, SetFileAccessSucceedsOnAFile) {
  CAccessPermission permission;
  SidBuffer everyone;
  ASSERT_TRUE(permission.CreateWellKnownSid(WinWorldSid, &everyone));
  ScopedTempDir dir;
  ASSERT_TRUE(dir.IsValid());
  std::wstring file = dir.Child(L"acl.txt");
  ASSERT_TRUE(WriteText(file, "x"));
  EXPECT_TRUE(permission.SetFileAccess(file.c_str(), everyone.data(), GENERIC_ALL)) << GetLastError();
  EXPECT_LE(1, CountAces(ReadAces(file, SE_FILE_OBJECT), ACCESS_ALLOWED_ACE_TYPE, L"S-1-1-0"));
}

TEST(AccessPermission, RefusesWhatItCannotName) {
  CAccessPermission permission;
  SidBuffer everyone;
  ASSERT_TRUE(permission.CreateWellKnownSid(WinWorldSid, &everyone));
  EXPECT_FALSE(permission.SetKeyAccess(HKEY_CURRENT_CONFIG, L"x", everyone.data(), KEY_READ));
  EXPECT_FALSE(permission.SetFileAccess(L"", everyone.data(), GENERIC_READ));
  EXPECT_FALSE(permission.SetFileAccess(L"C:\\no\\such\\file.txt", everyone.data(), GENERIC_READ));
  BYTE garbage[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_FALSE(permission.SetFileAccess(L"C:\\windows", garbage, GENERIC_READ));
}

}  // namespace
}  // namespace engine
