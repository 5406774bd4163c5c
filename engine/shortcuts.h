// The product's shell links: "Pelorix.lnk" on the all-users desktop, and in
// the all-users start-menu folder "Pelorix" the product link and the
// uninstaller link "卸载Pelorix.lnk". The calling thread must have COM
// initialised (the installer's worker is an apartment thread).
#pragma once

#include <windows.h>

#include <string>

namespace engine {

constexpr wchar_t kProductLinkName[] = L"Pelorix.lnk";
constexpr wchar_t kUninstallLinkName[] = L"\u5378\u8F7DPelorix.lnk";  // "卸载Pelorix.lnk"
constexpr wchar_t kStartMenuFolderName[] = L"Pelorix";

// Show command of every link (SW_SHOWNORMAL).
constexpr int kLinkShowCommand = 5;

// Writes a shell link at `link_path` to `target`, shown normally, working in
// the target's folder. `arguments` may be null; the icon location is set only
// when `icon_index` is not negative (the icon file by its short path name).
// With `notify`, tells the shell and running programs that associations and
// settings changed. FALSE when the target does not exist or COM fails.
BOOL CreateShellLink(const wchar_t* target, const wchar_t* arguments, const wchar_t* link_path,
                     const wchar_t* icon_path, int icon_index, BOOL notify);

// The folders the links live in (without trailing backslash).
struct ShortcutFolders {
  std::wstring common_desktop;
  std::wstring user_desktop;
  std::wstring common_programs;
  std::wstring user_programs;
};

// The machine's folders. False when one of them cannot be found.
bool SystemShortcutFolders(ShortcutFolders* folders);

// Removes the product's links from the folders that are known (an empty one
// is skipped): the start-menu folders of all users and of the current user
// with everything in them, and the desktop links. A link on the all-users
// desktop that cannot go now goes at the next restart.
void RemoveShortcuts(const ShortcutFolders& folders);

// Replaces the product's links: removes the old start-menu folders and desktop
// links of all users and of the current user, then creates the desktop link
// when `desktop` is set and the start-menu links when `start_menu` is set.
// A failed product link ends the step. TRUE when every requested link was
// created (also when none was requested); the caller then reports the
// statistics event "shortcuts".
BOOL CreateShortcuts(const std::wstring& install_dir, bool desktop, bool start_menu);
BOOL CreateShortcuts(const std::wstring& install_dir, bool desktop, bool start_menu,
                     const ShortcutFolders& folders);

}  // namespace engine
