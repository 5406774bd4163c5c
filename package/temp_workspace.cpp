#include "package/temp_workspace.h"

#include <objbase.h>
#include <shlwapi.h>

#include <cwchar>
#include <cwctype>

#include "base/scoped_handle.h"

namespace package {
namespace {

constexpr int kNameTries = 10;

GuidGenerator g_guid_generator = nullptr;
TreeWalkHook g_tree_walk_hook = nullptr;

HRESULT GenerateGuid(GUID* guid) {
  return g_guid_generator ? g_guid_generator(guid) : CoCreateGuid(guid);
}

struct FindTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Handle h) { FindClose(h); }
};
using ScopedFind = base::ScopedGeneric<FindTraits>;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring Join(const std::wstring& dir, const std::wstring& name) {
  if (dir.empty()) return name;
  if (IsSeparator(dir.back())) return dir + name;
  return dir + L'\\' + name;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  DWORD attrs = GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool ClearReadOnly(const std::wstring& path) {
  DWORD attrs = GetFileAttributesW(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attrs & FILE_ATTRIBUTE_READONLY)) return true;
  return SetFileAttributesW(path.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY) != FALSE;
}

bool ScheduleDelete(const std::wstring& path) {
  return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

// Length of the part of `path` that is never created: "C:\" or
// "\\server\share\".
size_t RootLength(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':') {
    return (path.size() >= 3 && IsSeparator(path[2])) ? 3 : 2;
  }
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    size_t pos = 2;
    for (int parts = 0; parts < 2 && pos < path.size(); ++parts) {
      while (pos < path.size() && !IsSeparator(path[pos])) ++pos;
      if (pos < path.size()) ++pos;
    }
    return pos;
  }
  return 0;
}

bool IsLink(DWORD attrs) {
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Removes a junction, symbolic link or other reparse point itself, never what
// it points at. SetFileAttributesW would follow the link, so a read-only flag
// is cleared through a handle on the link (FILE_FLAG_OPEN_REPARSE_POINT).
// Windows removes a directory link with RemoveDirectoryW; Wine shows a Unix
// symbolic link as one but removes it only with DeleteFileW, which on Windows
// fails on a directory of any kind.
bool RemoveLink(const std::wstring& path, DWORD attrs) {
  if (attrs & FILE_ATTRIBUTE_READONLY) {
    base::ScopedHandle link(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    constexpr DWORD kSettable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY;
    FILE_BASIC_INFO info = {};  // zero times: left as they are
    info.FileAttributes = (attrs & kSettable) ? (attrs & kSettable) : FILE_ATTRIBUTE_NORMAL;
    if (link) SetFileInformationByHandle(link.Get(), FileBasicInfo, &info, sizeof(info));
  }
  if ((attrs & FILE_ATTRIBUTE_DIRECTORY) && RemoveDirectoryW(path.c_str())) return true;
  return DeleteFileW(path.c_str()) != FALSE;
}

// Holds `dir` open while it is walked, so that it stays the directory that
// was looked at: without write or delete sharing nobody can rename or delete
// it, nor turn it into a junction (that takes write access), until the handle
// closes; and Windows refuses to rename a folder while anything below it is
// open, so the folders above it stay as well. Only attribute and listing
// access: other readers are not in the way. Invalid when it cannot be held.
base::ScopedHandle HoldDirectory(const std::wstring& dir) {
  return base::ScopedHandle(CreateFileW(dir.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

base::ScopedHandle HoldRealDirectory(const std::wstring& dir) {
  base::ScopedHandle held = HoldDirectory(dir);
  const DWORD attrs = GetFileAttributesW(dir.c_str());
  if (!held || IsLink(attrs) || attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    return base::ScopedHandle();
  }
  return held;
}

bool IsLinkAttributes(DWORD attrs) { return IsLink(attrs); }

namespace {

// What a walk finds at `dir` once it holds it: kWalk a directory to
// enumerate, kLink a link to remove as such, kSkip anything else (missing, a
// file, or held by someone who may still change it).
enum class DirState { kWalk, kLink, kSkip };

DirState CheckHeldDirectory(const std::wstring& dir, const base::ScopedHandle& held, DWORD* attrs) {
  // Read by name after the hold: the name cannot change any more.
  *attrs = GetFileAttributesW(dir.c_str());
  if (IsLink(*attrs)) return DirState::kLink;
  if (*attrs == INVALID_FILE_ATTRIBUTES || !(*attrs & FILE_ATTRIBUTE_DIRECTORY) || !held) return DirState::kSkip;
  if (g_tree_walk_hook) g_tree_walk_hook(dir);
  return DirState::kWalk;
}

// Walks one directory level. `remove_file` decides how files go; returns
// whether everything below `dir` and `dir` itself are gone. Every directory is
// held and looked at before it is enumerated, the one given included: one
// that is a link is removed as a link, so the walk never leaves the tree.
// With `schedule_dirs`, a directory that cannot be removed now is scheduled
// for deletion at restart, after everything below it that was scheduled.
template <class RemoveFile>
bool RemoveTreeWith(const std::wstring& dir, const wchar_t* pattern,
                    RemoveFile&& remove_file, bool schedule_dirs = false) {
  base::ScopedHandle held = HoldDirectory(dir);
  DWORD dir_attrs = 0;
  switch (CheckHeldDirectory(dir, held, &dir_attrs)) {
    case DirState::kLink:
      held.Reset();
      return RemoveLink(dir, dir_attrs);
    case DirState::kSkip:
      return false;
    case DirState::kWalk:
      break;
  }
  bool ok = true;
  ClearReadOnly(dir);
  WIN32_FIND_DATAW data;
  ScopedFind find(FindFirstFileW(Join(dir, pattern).c_str(), &data));
  if (find) {
    do {
      if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
      std::wstring child = Join(dir, data.cFileName);
      if (IsLink(data.dwFileAttributes)) {
        if (!RemoveLink(child, data.dwFileAttributes)) ok = false;
      } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!RemoveTreeWith(child, pattern, remove_file, schedule_dirs)) ok = false;
      } else if (!remove_file(child)) {
        ok = false;
      }
    } while (FindNextFileW(find.Get(), &data));
    find.Reset();  // the directory cannot go while it is being enumerated
  }
  held.Reset();  // nor while it is held
  if (!RemoveDirectoryW(dir.c_str())) {
    if (schedule_dirs) ScheduleDelete(dir);
    ok = false;
  }
  return ok;
}

}  // namespace

TreeWalkHook SetTreeWalkHookForTesting(TreeWalkHook hook) {
  TreeWalkHook previous = g_tree_walk_hook;
  g_tree_walk_hook = hook;
  return previous;
}

GuidGenerator SetGuidGeneratorForTesting(GuidGenerator generator) {
  GuidGenerator previous = g_guid_generator;
  g_guid_generator = generator;
  return previous;
}

bool NewGuidText(std::wstring* out) {
  GUID g;
  if (FAILED(GenerateGuid(&g))) return false;
  wchar_t text[64];
  swprintf(text, 64, L"{%08X-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}",
           static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
           g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  out->assign(text);
  return true;
}

bool NewTempPathIn(const std::wstring& dir, const wchar_t* extra, std::wstring* out) {
  if (dir.empty() || dir.size() > MAX_PATH) return false;
  std::wstring base = dir;
  if (extra && *extra) base = Join(base, extra);
  for (int i = 0; i < kNameTries; ++i) {
    std::wstring name;
    if (!NewGuidText(&name)) return false;
    std::wstring candidate = Join(base, name + L".tmp");
    if (!PathFileExistsW(candidate.c_str())) {
      *out = std::move(candidate);
      return true;
    }
  }
  return false;
}

bool NewTempPath(std::wstring* out) {
  wchar_t temp[MAX_PATH + 1];
  DWORD len = GetTempPathW(MAX_PATH + 1, temp);
  if (len == 0 || len > MAX_PATH) return false;
  return NewTempPathIn(temp, nullptr, out);
}

bool CreateDirectories(const std::wstring& dir, std::vector<std::wstring>* created) {
  if (dir.empty()) return false;
  size_t pos = RootLength(dir);
  while (pos <= dir.size()) {
    size_t next = pos;
    while (next < dir.size() && !IsSeparator(dir[next])) ++next;
    if (next > pos) {
      std::wstring prefix = dir.substr(0, next);
      if (!IsDirectory(prefix)) {
        if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
          // Another process may have made it in between.
          if (GetLastError() != ERROR_ALREADY_EXISTS || !IsDirectory(prefix)) return false;
        } else if (created) {
          created->push_back(prefix);
        }
      }
    }
    pos = next + 1;
  }
  return IsDirectory(dir);
}

bool IsGuidName(const wchar_t* name, const wchar_t* suffix) {
  constexpr size_t kGuidChars = 38;
  if (wcslen(name) != kGuidChars + wcslen(suffix) || name[0] != L'{' || name[kGuidChars - 1] != L'}' ||
      _wcsicmp(name + kGuidChars, suffix) != 0) {
    return false;
  }
  for (size_t i = 1; i + 1 < kGuidChars; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? name[i] != L'-' : !iswxdigit(name[i])) return false;
  }
  return true;
}

int RemoveProbeLeftovers(const std::wstring& dir) {
  int removed = 0;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(Join(dir, std::wstring(L"{*}") + kProbeSuffix).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !IsGuidName(data.cFileName, kProbeSuffix)) continue;
    if (DeleteFileW(Join(dir, data.cFileName).c_str())) ++removed;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return removed;
}

bool ProbeWritable(const std::wstring& dir, DWORD* error) {
  DWORD failure = ERROR_SUCCESS;
  std::vector<std::wstring> created;
  if (!CreateDirectories(dir, &created)) {
    failure = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_PATH_NOT_FOUND;
  }

  std::wstring guid;
  bool written = false;
  if (failure == ERROR_SUCCESS && !NewGuidText(&guid)) failure = ERROR_GEN_FAILURE;
  if (failure == ERROR_SUCCESS) {
    std::wstring probe = Join(dir, guid + kProbeSuffix);
    {
      base::ScopedHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                          nullptr));
      if (!file) {
        failure = GetLastError();
      } else {
        DWORD wanted = static_cast<DWORD>(guid.size() * sizeof(wchar_t));
        DWORD done = 0;
        if (WriteFile(file.Get(), guid.data(), wanted, &done, nullptr) && done == wanted) {
          written = true;
        } else {
          failure = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
        }
      }
    }
    if (Exists(probe)) DeleteFileW(probe.c_str());
  }
  // Children before parents.
  for (auto it = created.rbegin(); it != created.rend(); ++it) RemoveDirectoryW(it->c_str());
  if (error) *error = failure;
  return written;
}

bool VolumeTempFolder(const std::wstring& path, bool create, std::wstring* folder) {
  if (path.size() < 2 || path[1] != L':' || !iswalpha(path[0])) return false;
  wchar_t windows[MAX_PATH + 1];
  UINT len = GetWindowsDirectoryW(windows, MAX_PATH + 1);
  if (len == 0 || len > MAX_PATH) return false;
  wchar_t drive = static_cast<wchar_t>(towupper(path[0]));
  if (drive == static_cast<wchar_t>(towupper(windows[0]))) {
    wchar_t temp[MAX_PATH + 1];
    DWORD temp_len = GetTempPathW(MAX_PATH + 1, temp);
    if (temp_len == 0 || temp_len > MAX_PATH) return false;
    folder->assign(temp);
    return true;
  }
  wchar_t buffer[16];
  swprintf(buffer, 16, L"%c:\\.temp", drive);
  folder->assign(buffer);
  if (!create) return true;
  if (!IsDirectory(*folder)) {
    if (!CreateDirectories(*folder, nullptr)) return false;
    DWORD attrs = GetFileAttributesW(folder->c_str());
    SetFileAttributesW(folder->c_str(), attrs | FILE_ATTRIBUTE_HIDDEN);
  }
  return true;
}

bool MoveAside(const std::wstring& path, std::wstring* new_path) {
  if (path.empty() || !Exists(path)) return false;
  std::wstring folder;
  if (!VolumeTempFolder(path, true, &folder)) return false;
  std::wstring target;
  if (!NewTempPathIn(folder, nullptr, &target)) return false;
  if (!MoveFileW(path.c_str(), target.c_str())) return false;
  // A copy-and-delete move of a locked file leaves the source behind; the
  // copy is then only in the way.
  if (Exists(path)) {
    DeleteOrSchedule(target);
    return false;
  }
  *new_path = std::move(target);
  return true;
}

bool DeleteOrSchedule(const std::wstring& file) {
  if (DeleteFileW(file.c_str())) return true;
  if (!Exists(file)) return true;
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileW(file.c_str()) || !Exists(file)) return true;
  ScheduleDelete(file);
  return false;
}

bool DeleteTree(const std::wstring& dir) {
  if (dir.size() < 4 || !Exists(dir)) return false;
  return RemoveTreeWith(dir, L"*.*", [](const std::wstring& file) {
    ClearReadOnly(file);
    return DeleteFileW(file.c_str()) != FALSE;
  });
}

bool RemoveTreeCounted(const std::wstring& dir, unsigned long long* counter,
                       IRemoveObserver* observer) {
  if (dir.size() < 4 || dir.size() >= MAX_PATH || !Exists(dir)) return false;
  return RemoveTreeWith(dir, L"*", [&](const std::wstring& file) {
    bool removed = DeleteOrSchedule(file);
    unsigned long long count = counter ? ++*counter : 0;
    if (observer) observer->OnFileRemoved(count);
    return removed;
  });
}

bool DeleteTreeOrSchedule(const std::wstring& dir) {
  if (dir.size() < 4 || dir.size() >= MAX_PATH || !Exists(dir)) return false;
  return RemoveTreeWith(dir, L"*", [](const std::wstring& file) { return DeleteOrSchedule(file); },
                        /*schedule_dirs=*/true);
}

namespace {

bool PurgeOne(const std::wstring& file) {
  if (DeleteFileW(file.c_str()) || !Exists(file)) return true;
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (DeleteFileW(file.c_str()) || !Exists(file)) return true;
  if (IsDirectory(file) && RemoveDirectoryW(file.c_str())) return true;
  // Deleted at restart where it is, in the folder being purged. Moved aside
  // it would wait in the user's temp folder (or "X:\.temp"), where the user
  // could put a link in place of the name before the restart's delete.
  ScheduleDelete(file);
  return false;
}

bool PurgeWalk(const std::wstring& dir, const std::wstring& extension) {
  // Only directories held as they are walked: a link found here (or swapped
  // in since the parent was read) leads out of the tree.
  const base::ScopedHandle held = HoldDirectory(dir);
  DWORD dir_attrs = 0;
  const DirState state = CheckHeldDirectory(dir, held, &dir_attrs);
  if (state == DirState::kLink) return true;
  if (state == DirState::kSkip) return false;
  bool ok = true;
  WIN32_FIND_DATAW data;
  ScopedFind find(FindFirstFileW(Join(dir, L"*").c_str(), &data));
  if (!find) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (wcscmp(data.cFileName, L".") == 0 || wcscmp(data.cFileName, L"..") == 0) continue;
    std::wstring child = Join(dir, data.cFileName);
    const bool matches = _wcsicmp(PathFindExtensionW(data.cFileName), extension.c_str()) == 0;
    if (IsLink(data.dwFileAttributes)) {
      const bool file_link = !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      if (matches && file_link && !RemoveLink(child, data.dwFileAttributes)) ok = false;
      continue;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!PurgeWalk(child, extension)) ok = false;
      continue;
    }
    if (matches && !PurgeOne(child)) ok = false;
  } while (FindNextFileW(find.Get(), &data));
  return ok;
}

}  // namespace

bool PurgeByExtension(const std::wstring& dir, const std::wstring& extension) {
  if (dir.empty() || extension.empty() || dir.size() >= MAX_PATH) return false;
  if (IsLink(GetFileAttributesW(dir.c_str()))) return false;
  return PurgeWalk(dir, extension);
}

}  // namespace package
