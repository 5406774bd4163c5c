#include "engine/install_dir.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "base/registry.h"
#include "base/scoped_handle.h"
#include "engine/install_task_interface.h"
#include "engine/process_image.h"
#include "engine/product_registration.h"
#include "log/smart_logger.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

constexpr wchar_t kForbiddenChars[] = L"/*?\"<>|";
constexpr DWORD kSetupPathBytes = 260 * sizeof(wchar_t);

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring Trimmed(const std::wstring& text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && IsBlank(text[begin])) ++begin;
  return text.substr(begin, end - begin);
}

DWORD Attributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool Exists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Free megabytes available to the caller on `root`; fixed drives only.
ULONGLONG CallerFreeMb(IEnvironmentQueries* queries, const std::wstring& root) {
  if (queries->DriveType(root.c_str()) != DRIVE_FIXED) return 0;
  ULARGE_INTEGER to_caller{}, total{}, total_free{};
  if (!queries->DiskFreeSpace(root.c_str(), &to_caller, &total, &total_free)) return 0;
  return to_caller.QuadPart >> 20;
}

std::wstring RootOf(const std::wstring& path) { return std::wstring{path[0], L':', L'\\'}; }

// True when the directory holds anything besides "." and ".." and what a
// write probe of a run that ended during it left behind.
bool HasEntries(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool any = false;
  do {
    if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0 &&
        !package::IsGuidName(data.cFileName, package::kProbeSuffix)) {
      any = true;
    }
  } while (!any && FindNextFileW(find, &data));
  FindClose(find);
  return any;
}

// The first fixed drive, in the system's order, with more than the install
// minimum free; 0 when there is none.
wchar_t RoomyFixedDrive(IEnvironmentQueries* queries) {
  wchar_t drives[1024 + 1] = {};
  const DWORD len = queries->LogicalDriveStrings(1024, drives);
  if (len == 0 || len > 1024) return 0;
  for (const wchar_t* entry = drives; entry < drives + len && *entry; entry += wcslen(entry) + 1) {
    if (CallerFreeMb(queries, RootOf(entry)) > kInstallDirFreeMb) return entry[0];
  }
  return 0;
}

// `path` made absolute with "." and ".." resolved, without trailing
// separators (a drive root keeps its own); empty when it cannot be.
std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) return std::wstring();
  std::vector<wchar_t> full(MAX_PATH);
  DWORD chars = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (chars >= full.size()) {
    full.resize(chars + 1);
    chars = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (chars == 0 || chars >= full.size()) return std::wstring();
  std::wstring result(full.data(), chars);
  while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
  return result;
}

// The directory above `path`; the root keeps its backslash ("C:\").
std::wstring ParentOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos || slash + 1 >= path.size()) return std::wstring();
  std::wstring parent = path.substr(0, slash);
  if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
  return parent;
}

}  // namespace

int ValidateInstallDir(const wchar_t* path, IEnvironmentQueries* queries) {
  if (!path) return kDirBadPath;
  const std::wstring given(path);
  const std::wstring dir = Trimmed(given);
  if (dir.empty()) return kDirEmpty;
  if (given.size() > kMaxInstallDirChars) return kDirTooLong;
  if (PathIsRelativeW(dir.c_str())) return kDirRelative;
  if (Exists(dir) && !IsDirectory(dir)) return kDirIsFile;
  if (dir.find_first_of(kForbiddenChars) != std::wstring::npos) return kDirBadPath;
  // A UNC path is absolute too, but has no drive letter to measure.
  if (dir.size() < 2 || dir[1] != L':' || CallerFreeMb(queries, RootOf(dir)) < kInstallDirFreeMb) {
    return kDirNoSpace;
  }
  // What the check creates it removes again: a wizard that is closed without
  // installing leaves no empty folder behind. The install creates the
  // directory as it places the first file.
  std::vector<std::wstring> created;
  int result = kDirUsable;
  if (!IsDirectory(dir) && !package::CreateDirectories(dir, &created)) {
    result = kDirCreateFailed;
  } else if (!package::ProbeWritable(dir, nullptr)) {
    result = kDirNotWritable;
  }
  for (auto it = created.rbegin(); it != created.rend(); ++it) RemoveDirectoryW(it->c_str());
  return result;
}

int ValidateInstallDir(const wchar_t* path) {
  CSystemEnvironmentQueries queries;
  return ValidateInstallDir(path, &queries);
}

std::wstring NormalizeInstallDir(const wchar_t* path) {
  std::wstring dir(path ? path : L"");
  for (wchar_t& c : dir) {
    if (c == L'/') c = L'\\';
  }
  if (dir.size() > 1 && dir.back() == L'\\') dir.pop_back();
  if (!dir.empty() && HasEntries(dir) && !Exists(MainProgramPath(dir)) && !Exists(JoinPath(dir, kUnfinishedMark))) {
    dir = JoinPath(dir, kProductFolderName);
  }
  return dir;
}

std::wstring RegisteredInstallDir() {
  std::wstring dir;
  if (!base::RegReadString(HKEY_LOCAL_MACHINE, kProductKey, L"Setup Path", &dir, kSetupPathBytes,
                           KEY_WOW64_32KEY)) {
    return std::wstring();
  }
  while (!dir.empty() && dir.back() == L'\0') dir.pop_back();
  return !dir.empty() && Exists(dir) ? dir : std::wstring();
}

std::wstring DefaultInstallDir(IEnvironmentQueries* queries) {
  std::wstring dir = RegisteredInstallDir();
  if (dir.empty()) {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder))) {
      return std::wstring();
    }
    dir = JoinPath(folder, kProductFolderName);
  }
  if (ValidateInstallDir(dir.c_str(), queries) == kDirUsable) return dir;
  const wchar_t drive = RoomyFixedDrive(queries);
  if (!drive) return std::wstring();
  dir[0] = drive;
  return dir;
}

std::vector<std::wstring> ProgramFilesFolders() {
  std::vector<std::wstring> folders;
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86}) {
    wchar_t folder[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) {
      folders.push_back(folder);
    }
  }
  // The native folder of 64-bit Windows, which a 32-bit process is not told
  // about by the shell.
  std::wstring native;
  if (base::RegReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                          L"ProgramW6432Dir", &native, MAX_PATH * sizeof(wchar_t), KEY_WOW64_64KEY)) {
    while (!native.empty() && native.back() == L'\0') native.pop_back();
    if (!native.empty()) folders.push_back(native);
  }
  return folders;
}

bool IsInProgramFiles(const std::wstring& dir, const std::vector<std::wstring>& folders) {
  const std::wstring full = FullPath(dir);
  if (full.empty()) return false;
  for (const std::wstring& candidate : folders) {
    const std::wstring folder = FullPath(candidate);
    if (!folder.empty() && IsInDirectory(full, folder)) return true;
  }
  return false;
}

BOOL CreateInstallDir(const std::wstring& dir, const std::vector<std::wstring>& program_files,
                      IFileSecurity* security) {
  const std::wstring full = FullPath(dir);
  if (full.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  const bool protect = !IsInProgramFiles(full, program_files);
  if (IsDirectory(full)) {
    // Its list may be the user's own choice (or hold entries that others rely
    // on); the product's files below it still get what it passes on.
    if (protect) LogUtils::SmartLog(L"install dir exists outside program files, access list kept: %s", full.c_str());
    return TRUE;
  }
  if (protect) {
    std::wstring outermost = full;
    for (std::wstring parent = ParentOf(full); !parent.empty() && !IsDirectory(parent); parent = ParentOf(parent)) {
      outermost = parent;
    }
    // The directory above an install directory that the setup creates is
    // protected as well: whoever may rename a folder on the way may swap in
    // one of their own under the registered path.
    if (!security->CreateProtectedDirectory(outermost.c_str()) &&
        !(GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(outermost))) {
      return FALSE;
    }
  }
  // Created without a descriptor of their own, the rest inherit.
  return package::CreateDirectories(full, nullptr) ? TRUE : FALSE;
}

BOOL CreateInstallDir(const std::wstring& dir) {
  return CreateInstallDir(dir, ProgramFilesFolders(), SystemFileSecurity());
}

bool MarkUnfinished(const std::wstring& dir, bool unfinished) {
  const std::wstring mark = JoinPath(dir, kUnfinishedMark);
  if (!unfinished) return DeleteFileW(mark.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
  base::ScopedHandle file(
      CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
  return static_cast<bool>(file);
}

}  // namespace engine
