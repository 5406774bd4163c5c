// Carrying the user settings of an earlier edition over to the new install:
// the per-user application data folder and five configuration files of the
// earlier install directory.
#pragma once

#include <windows.h>

#include <string>

#include "engine/access_permission.h"

namespace engine {

// Where the earlier edition came from ("migrate_src"): "corvale", compared
// without case, or the maker's own edition for every other name.
enum class MigrationSource { kVarnock, kCorvale };
MigrationSource ParseMigrationSource(const std::wstring& name);

// HKLM key (32-bit view) whose REG_SZ "Setup Path" names the earlier install
// directory, and the application data subfolder of the earlier edition.
const wchar_t* EarlierProductKey(MigrationSource source);
const wchar_t* EarlierDataFolder(MigrationSource source);

// Values longer than this many bytes are not taken as a directory.
constexpr DWORD kSetupPathMaxBytes = 2048;

// The earlier install directory: the registered "Setup Path" (REG_SZ, not
// empty, at most kSetupPathMaxBytes), else `override_dir` ("migrate_tdir").
// Empty when neither gives one.
std::wstring EarlierInstallDir(MigrationSource source, const std::wstring& override_dir);

// The configuration files taken from the earlier install, in copy order.
constexpr const wchar_t* kMigratedFiles[] = {L"pelx.set", L"pelorix.set", L"po.db", L"skip_list",
                                             L"white.conf"};

// "<install dir>\nexhub\pelorix\" (a backslash added unless one ends the dir).
std::wstring ProgramFolderOf(const std::wstring& install_dir);

// The migration step: copies "<appdata>\<earlier data folder>" into
// "<appdata>\Pelorix\pelorix", then, when both program folders exist, the
// configuration files from the earlier install's to the new one's,
// overwriting; each file copied into the install directory gets the list that
// directory passes on. Failures are not reported: a migration that finds
// nothing copies nothing.
void MigratePrevious(const std::wstring& source_name, const std::wstring& override_dir,
                     const std::wstring& new_install_dir);
// The same with the access lists handled by `security` (tests).
void MigratePrevious(const std::wstring& source_name, const std::wstring& override_dir,
                     const std::wstring& new_install_dir, IFileSecurity* security);

// Copies the files of `source` into `destination` (created when missing),
// overwriting, and recurses into subfolders. Single file failures are
// ignored. FALSE when the destination cannot be created, the source cannot be
// read, or a subfolder fails.
BOOL CopyTree(const std::wstring& source, const std::wstring& destination);

}  // namespace engine
