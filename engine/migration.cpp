#include "engine/migration.h"

#include <shlobj.h>

#include "base/scoped_handle.h"
#include "log/smart_logger.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

struct FindTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { FindClose(h); }
};
using ScopedFind = base::ScopedGeneric<FindTraits>;

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file of that name is in the way, not a folder to copy into.
bool CreateOrKeepDirectory(const std::wstring& path) {
  return CreateDirectoryW(path.c_str(), nullptr) || (GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path));
}

// Only a REG_SZ of at most kSetupPathMaxBytes counts; the 32-bit view is the
// one the earlier editions, 32-bit programs too, wrote to. The size is checked
// first, so that a value that does not fit is absent rather than cut short.
std::wstring ReadSetupPath(const wchar_t* subkey) {
  base::ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.Receive()) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.Get(), L"Setup Path", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size > kSetupPathMaxBytes) {
    return std::wstring();
  }
  wchar_t value[kSetupPathMaxBytes / sizeof(wchar_t) + 1] = {};
  size = sizeof(value);
  if (RegQueryValueExW(key.Get(), L"Setup Path", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::wstring();
  }
  value[kSetupPathMaxBytes / sizeof(wchar_t)] = L'\0';
  return value;
}

std::wstring AppDataFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) return std::wstring();
  return path;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  wchar_t full_a[MAX_PATH] = {}, full_b[MAX_PATH] = {};
  if (!GetFullPathNameW(a.c_str(), MAX_PATH, full_a, nullptr) ||
      !GetFullPathNameW(b.c_str(), MAX_PATH, full_b, nullptr)) {
    return false;
  }
  return CompareStringOrdinal(full_a, -1, full_b, -1, TRUE) == CSTR_EQUAL;
}

void CopyConfigurationFiles(const std::wstring& old_folder, const std::wstring& new_folder,
                            IFileSecurity* security) {
  // Copying a folder's files onto themselves could only damage them.
  if (SameFolder(old_folder, new_folder)) return;
  for (const wchar_t* name : kMigratedFiles) {
    const std::wstring target = new_folder + name;
    if (!CopyFileW((old_folder + name).c_str(), target.c_str(), FALSE)) continue;
    // The earlier install may have lived where users could write; a copy
    // over an existing file keeps that file's list. Either way the file
    // takes what the new install directory passes on.
    if (!security->ResetToInherited(target.c_str())) {
      LogUtils::SmartLog(L"migrated file keeps its access list: err=%lu %s", GetLastError(), target.c_str());
    }
  }
}

}  // namespace

MigrationSource ParseMigrationSource(const std::wstring& name) {
  return CompareStringOrdinal(name.c_str(), -1, L"corvale", -1, TRUE) == CSTR_EQUAL ? MigrationSource::kCorvale
                                                                                     : MigrationSource::kVarnock;
}

const wchar_t* EarlierProductKey(MigrationSource source) {
  return source == MigrationSource::kCorvale ? L"SOFTWARE\\Corvale" : L"SOFTWARE\\Varnock";
}

const wchar_t* EarlierDataFolder(MigrationSource source) {
  return source == MigrationSource::kCorvale ? L"\\corvale\\pelorix" : L"\\varnock\\pelorix";
}

std::wstring EarlierInstallDir(MigrationSource source, const std::wstring& override_dir) {
  // An empty "Setup Path" would turn into a folder at the root of the
  // current drive.
  const std::wstring registered = ReadSetupPath(EarlierProductKey(source));
  return registered.empty() ? override_dir : registered;
}

std::wstring ProgramFolderOf(const std::wstring& install_dir) {
  std::wstring folder = install_dir;
  if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) folder += L'\\';
  return folder + L"nexhub\\pelorix\\";
}

void MigratePrevious(const std::wstring& source_name, const std::wstring& override_dir,
                     const std::wstring& new_install_dir) {
  MigratePrevious(source_name, override_dir, new_install_dir, SystemFileSecurity());
}

void MigratePrevious(const std::wstring& source_name, const std::wstring& override_dir,
                     const std::wstring& new_install_dir, IFileSecurity* security) {
  const std::wstring app_data = AppDataFolder();
  if (app_data.empty()) return;
  const MigrationSource source = ParseMigrationSource(source_name);
  const std::wstring new_parent = app_data + L"\\Pelorix";
  const std::wstring new_data = new_parent + L"\\pelorix";
  // The folders above the copy's destination are the user's too: each is
  // held as a real folder while the copy below it runs.
  const base::ScopedHandle app_data_held = package::HoldRealDirectory(app_data);
  CreateOrKeepDirectory(new_parent);
  const base::ScopedHandle parent_held = package::HoldRealDirectory(new_parent);
  if (app_data_held && parent_held) {
    CopyTree(app_data + EarlierDataFolder(source), new_data);
  } else {
    LogUtils::SmartLog(L"migration refuses a link or unusable folder: %s", new_parent.c_str());
  }

  const std::wstring earlier_dir = EarlierInstallDir(source, override_dir);
  if (earlier_dir.empty()) return;
  const std::wstring old_folder = ProgramFolderOf(earlier_dir);
  const std::wstring new_folder = ProgramFolderOf(new_install_dir);
  if (!IsDirectory(old_folder) || !IsDirectory(new_folder)) return;
  CopyConfigurationFiles(old_folder, new_folder, security ? security : SystemFileSecurity());
}

// The copy runs elevated between folders of the user's profile, which the
// user can fill with junctions and symbolic links: followed, they would let
// an elevated copy read or write anywhere. Every folder is held (see
// HoldRealDirectory) from its check until its level is copied, and links
// inside are passed over, whether they name files or folders.
BOOL CopyTree(const std::wstring& source, const std::wstring& destination) {
  if (!CreateOrKeepDirectory(destination)) return FALSE;
  const base::ScopedHandle to_held = package::HoldRealDirectory(destination);
  const base::ScopedHandle from_held = package::HoldRealDirectory(source);
  if (!to_held || !from_held) {
    LogUtils::SmartLog(L"migration refuses a link or unusable folder: %s -> %s", source.c_str(), destination.c_str());fprintf(stderr,"DBG refuse %d %d %ls %ls\n", !!to_held, !!from_held, source.c_str(), destination.c_str());
    return FALSE;
  }
  WIN32_FIND_DATAW entry = {};
  ScopedFind find(FindFirstFileW((source + L"\\*").c_str(), &entry));
  if (!find) return FALSE;
  do {
    const std::wstring name = entry.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring from = source + L"\\" + name;
    const std::wstring to = destination + L"\\" + name;
    if (package::IsLinkAttributes(entry.dwFileAttributes) ||
        package::IsLinkAttributes(GetFileAttributesW(to.c_str()))) {
      LogUtils::SmartLog(L"migration passes a link over: %s", from.c_str());
      continue;
    }
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      CopyFileW(from.c_str(), to.c_str(), FALSE);
    } else if (!CopyTree(from, to)) {
      return FALSE;
    }
  } while (FindNextFileW(find.Get(), &entry));
  return TRUE;
}

}  // namespace engine
