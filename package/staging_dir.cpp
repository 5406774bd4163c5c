#include "package/staging_dir.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <cwctype>
#include <vector>

#include "base/scoped_handle.h"
#include "package/temp_workspace.h"

namespace package {
namespace {

constexpr int kNameTries = 10;

// Administrators and SYSTEM only, nothing inherited from the parent: these
// directories live where ordinary users may create files, and nobody else may
// plant or swap anything in them.
constexpr wchar_t kStagingSddl[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

// Owner and access list of an open directory, as stored on the volume.
struct StoredSecurity {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ~StoredSecurity() {
    if (sd) LocalFree(sd);
  }
  bool Read(HANDLE dir) {
    return GetSecurityInfo(dir, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                           &owner, nullptr, &dacl, nullptr, &sd) == ERROR_SUCCESS &&
           owner && dacl;
  }
};

bool SameAcl(PACL a, PACL b) {
  if (a->AceCount != b->AceCount) return false;
  for (WORD i = 0; i < a->AceCount; ++i) {
    void* x = nullptr;
    void* y = nullptr;
    if (!GetAce(a, i, &x) || !GetAce(b, i, &y)) return false;
    const WORD size = static_cast<ACE_HEADER*>(x)->AceSize;
    if (size != static_cast<ACE_HEADER*>(y)->AceSize || std::memcmp(x, y, size) != 0) return false;
  }
  return true;
}

bool SameSecurity(const StoredSecurity& a, const StoredSecurity& b) {
  SECURITY_DESCRIPTOR_CONTROL ca = 0, cb = 0;
  DWORD revision = 0;
  return GetSecurityDescriptorControl(a.sd, &ca, &revision) &&
         GetSecurityDescriptorControl(b.sd, &cb, &revision) &&
         (ca & SE_DACL_PROTECTED) == (cb & SE_DACL_PROTECTED) && EqualSid(a.owner, b.owner) &&
         SameAcl(a.dacl, b.dacl);
}

// The directory itself, never what a link or junction of that name points at.
HANDLE OpenDirectoryNoFollow(const std::wstring& path) {
  return CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Whether the pending rename list holds an entry for `path` itself.
bool PendingAtRestart(const std::wstring& path) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  std::vector<wchar_t> list;
  DWORD bytes = 0;
  LONG status = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < 10 && status == ERROR_MORE_DATA; ++attempt) {
    list.assign(bytes / sizeof(wchar_t) + 2, L'\0');
    bytes = static_cast<DWORD>((list.size() - 2) * sizeof(wchar_t));
    status = RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                              reinterpret_cast<BYTE*>(list.data()), &bytes);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  // Sources carry the four-character native prefix ("\??\").
  for (const wchar_t* entry = list.data(); *entry; entry += wcslen(entry) + 1) {
    if (wcslen(entry) > 4 && _wcsicmp(entry + 4, path.c_str()) == 0) return true;
  }
  return false;
}

bool ProcessStart(FILETIME* start) {
  FILETIME exited, kernel, user;
  return GetProcessTimes(GetCurrentProcess(), start, &exited, &kernel, &user) != FALSE;
}

}  // namespace

PSECURITY_DESCRIPTOR NewStagingSecurityDescriptor() {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kStagingSddl, SDDL_REVISION_1, &sd, nullptr)) {
    return nullptr;
  }
  return sd;
}

bool CreateProtectedDirectory(const std::wstring& path) { return CreateDirectoryWithList(path, kStagingSddl); }

bool CreateDirectoryWithList(const std::wstring& path, const wchar_t* sddl) {
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sa.lpSecurityDescriptor,
                                                            nullptr)) {
    return false;
  }
  BOOL ok = CreateDirectoryW(path.c_str(), &sa);
  // Stated once more on the new directory: not every file system layer keeps
  // the descriptor given at creation.
  if (ok) {
    ok = SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          sa.lpSecurityDescriptor);
    if (!ok) {
      const DWORD error = GetLastError();
      RemoveDirectoryW(path.c_str());
      SetLastError(error);
    }
  }
  LocalFree(sa.lpSecurityDescriptor);
  return ok != FALSE;
}

bool CreateProtectedDirectoryIn(const std::wstring& base, std::wstring* created, const wchar_t* suffix) {
  if (base.empty() || base.size() > MAX_PATH) return false;
  const std::wstring prefix = base.back() == L'\\' ? base : base + L'\\';
  // The creation itself is the test for a free name: a name checked first
  // could be taken in between.
  for (int attempt = 0; attempt < kNameTries; ++attempt) {
    std::wstring guid;
    if (!NewGuidText(&guid)) return false;
    const std::wstring candidate = prefix + guid + suffix;
    if (CreateProtectedDirectory(candidate)) {
      *created = candidate;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool StagingBase(std::wstring* base) {
  wchar_t common[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, common, CSIDL_COMMON_APPDATA, TRUE)) return false;
  *base = common;
  return true;
}

int RemoveStaleStaging(const std::wstring& staging_base, const std::wstring& reference) {
  FILETIME start;
  StoredSecurity ours;
  base::ScopedHandle reference_dir(OpenDirectoryNoFollow(reference));
  if (!ProcessStart(&start) || !reference_dir || !ours.Read(reference_dir.Get())) return 0;
  const std::wstring prefix =
      staging_base.empty() || staging_base.back() == L'\\' ? staging_base : staging_base + L'\\';
  int removed = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((prefix + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring path = prefix + data.cFileName;
    // An unpacked library's directory that waits for the restart keeps its
    // name until then; one never scheduled was left by a run killed while it
    // unpacked, and nothing else would remove it.
    const bool stale_name =
        IsGuidName(data.cFileName, L".tmp") ||
        (IsGuidName(data.cFileName, L".lib") && !PendingAtRestart(path));
    if (!stale_name || _wcsicmp(path.c_str(), reference.c_str()) == 0) continue;
    base::ScopedHandle dir(OpenDirectoryNoFollow(path));
    BY_HANDLE_FILE_INFORMATION info;
    StoredSecurity theirs;
    if (!dir || !GetFileInformationByHandle(dir.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
            FILE_ATTRIBUTE_DIRECTORY ||
        CompareFileTime(&info.ftCreationTime, &start) >= 0 || !theirs.Read(dir.Get()) ||
        !SameSecurity(ours, theirs)) {
      continue;
    }
    dir.Reset();
    // Only administrators can change such a directory (and users cannot
    // rename entries of the common application data folder), so what was
    // checked is what goes.
    if (DeleteTree(path)) ++removed;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return removed;
}

}  // namespace package
