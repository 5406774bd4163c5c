// The sample product's uninstaller (uninst.exe in the install root): what it
// removes, in which order, and how it reads its command line. The install
// directory is always the folder uninst.exe runs from; nothing outside it is
// deleted but the product's registration (product key, program-list entry,
// shell links, autorun).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sample {

// Exit codes, the MSI ones that program lists and deployment tools know.
constexpr DWORD kUninstallDone = 0;                // all gone (uninst.exe and its folder at restart)
constexpr DWORD kUninstallRestartNeeded = 3010;    // ERROR_SUCCESS_REBOOT_REQUIRED: files in use too
constexpr DWORD kUninstallCancelled = 1602;        // ERROR_INSTALL_USEREXIT
constexpr DWORD kUninstallFailed = 1603;           // ERROR_INSTALL_FAILURE: no usable list
constexpr DWORD kUninstallNotInstalled = 1605;     // ERROR_UNKNOWN_PRODUCT: no install here

// "/S" (or "-S", "--S"): no confirmation and no message, for deployment
// tools and the tests. Without it the uninstaller asks first.
constexpr wchar_t kSilentSwitch[] = L"S";

// Name of the RCDATA resource holding the package's uninstall list
// (UninstallRootDirFileList.xml, UTF-16 with its byte-order mark).
constexpr wchar_t kRootListResource[] = L"UNINSTALL_ROOT_LIST";

// The root directories and root files of the install that the uninstaller
// removes.
struct RootList {
  std::vector<std::wstring> dirs;
  std::vector<std::wstring> files;
};

// Reads the <Dir> and <File> items of an uninstall list (the document's text,
// without byte-order mark). False when either section is missing or a name
// is not a plain name of the install root (empty, "." or "..", or holding a
// path separator, a drive colon or a control character): a list that could
// reach outside the install directory is refused whole.
bool ParseRootList(const std::wstring& xml, RootList* list);

// The list carried by `module` (kRootListResource). False when it is missing
// or does not parse.
bool LoadRootList(HMODULE module, RootList* list);

// The arguments in `command_line` after the program `program_path`. The
// program list starts the uninstaller with its path unquoted, blanks and all
// ("C:\Program Files\Pelorix\uninst.exe"), which the usual splitting would
// cut at the first blank; so the program's own path is matched first
// (quoted or not, any case), and only an unknown start falls back to the
// first token.
std::wstring ArgumentsAfterProgram(const std::wstring& command_line, const std::wstring& program_path);

// Whether `dir` holds an install of the product: its main program is there,
// or the product key names the directory. The uninstaller refuses any other
// folder, so that a copy of it elsewhere cannot empty that folder.
bool IsInstallDir(const std::wstring& dir);

// Whether the product's registration belongs to `install_dir`: its key names
// this directory as "Setup Path", or there is no such value. Another install
// keeps its registration when an old copy of the folder is removed.
bool RegisteredHere(const std::wstring& install_dir);

struct UninstallOutcome {
  bool registration_removed = false;
  int entries_removed = 0;   // root entries of the list gone now
  int entries_pending = 0;   // root entries (partly) left for the restart
};

// The whole uninstall of the product in `install_dir`, run by `self` (the
// uninstaller's own path, removed last): ends the running product as the
// setup does, drops stale pending renames into the directory, removes the
// registration when it belongs here, then every listed root entry (links
// removed as links, never followed), scheduling what is in use for deletion
// at restart, and finally itself and the directory when nothing else is in
// it. COM must be initialised on the calling thread.
UninstallOutcome Uninstall(const std::wstring& install_dir, const std::wstring& self, const RootList& list);

}  // namespace sample
