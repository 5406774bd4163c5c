#include "engine/install_dir.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "base/registry.h"
#include "engine/install_task_interface.h"
#include "engine/product_registration.h"
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

// True when the directory holds anything besides "." and "..".
bool HasEntries(const std::wstring& dir) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  bool any = false;
  do {
    if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0) any = true;
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
  if (!dir.empty() && HasEntries(dir) && !Exists(MainProgramPath(dir))) dir = JoinPath(dir, kProductFolderName);
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

}  // namespace engine
