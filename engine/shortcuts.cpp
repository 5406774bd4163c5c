#include "engine/shortcuts.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "engine/product_registration.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

// Owns one COM interface pointer.
template <class T>
class ScopedComPtr {
 public:
  ScopedComPtr() = default;
  ~ScopedComPtr() {
    if (p_) p_->Release();
  }
  ScopedComPtr(const ScopedComPtr&) = delete;
  ScopedComPtr& operator=(const ScopedComPtr&) = delete;
  T* operator->() const { return p_; }
  T* Get() const { return p_; }
  void** Receive() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

bool Exists(const wchar_t* path) {
  return path && *path && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::wstring();
  // Keep the backslash of a drive root ("C:\").
  return path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
}

// Icons are referenced by their short (8.3) name: no blanks, and nothing a
// reader's code page could fail to spell.
std::wstring ShortPathOf(const wchar_t* path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD n = GetShortPathNameW(path, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetShortPathNameW(path, buffer.data(), static_cast<DWORD>(buffer.size()));
  }
  if (n == 0 || n >= buffer.size()) return path;
  return std::wstring(buffer.data(), n);
}

bool KnownFolder(int csidl, std::wstring* out) {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) || !*path) {
    return false;
  }
  *out = path;
  return true;
}

}  // namespace

void RemoveShortcuts(const ShortcutFolders& folders) {
  for (const std::wstring* programs : {&folders.common_programs, &folders.user_programs}) {
    if (!programs->empty()) package::DeleteTree(JoinPath(*programs, kStartMenuFolderName));
  }
  // A link held open by the shell goes at the next restart instead, but only
  // from the all-users desktop: the user's own desktop is the user's to
  // change, and a name there could be a link to a system file by the time
  // the restart deletes it.
  if (!folders.common_desktop.empty()) {
    const std::wstring link = JoinPath(folders.common_desktop, kProductLinkName);
    if (GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES) package::DeleteOrSchedule(link);
  }
  if (!folders.user_desktop.empty()) DeleteFileW(JoinPath(folders.user_desktop, kProductLinkName).c_str());
}

BOOL CreateShellLink(const wchar_t* target, const wchar_t* arguments, const wchar_t* link_path,
                     const wchar_t* icon_path, int icon_index, BOOL notify) {
  if (!Exists(target) || !link_path || !*link_path) return FALSE;
  ScopedComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW,
                              link.Receive()))) {
    return FALSE;
  }
  if (FAILED(link->SetPath(target))) return FALSE;
  if (arguments && FAILED(link->SetArguments(arguments))) return FALSE;
  link->SetShowCmd(kLinkShowCommand);
  if (icon_index >= 0 && icon_path) {
    link->SetIconLocation(ShortPathOf(icon_path).c_str(), icon_index);
  }
  link->SetWorkingDirectory(FolderOf(target).c_str());

  ScopedComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.Receive()))) return FALSE;
  // Remember: the link file becomes the object's current file.
  if (FAILED(file->Save(link_path, TRUE))) return FALSE;

  if (notify) {
    // 42 is SPI_SETNONCLIENTMETRICS: the shell and programs that cache icons
    // reload them on it.
    PostMessageW(HWND_BROADCAST, WM_WININICHANGE, 42, 0);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_FLUSH, nullptr, nullptr);
  }
  return TRUE;
}

bool SystemShortcutFolders(ShortcutFolders* folders) {
  return KnownFolder(CSIDL_COMMON_DESKTOPDIRECTORY, &folders->common_desktop) &&
         KnownFolder(CSIDL_DESKTOPDIRECTORY, &folders->user_desktop) &&
         KnownFolder(CSIDL_COMMON_PROGRAMS, &folders->common_programs) &&
         KnownFolder(CSIDL_PROGRAMS, &folders->user_programs);
}

BOOL CreateShortcuts(const std::wstring& install_dir, bool desktop, bool start_menu) {
  ShortcutFolders folders;
  if (!SystemShortcutFolders(&folders) && (desktop || start_menu)) {
    // Still remove what can be found; creating needs the all-users folders.
    RemoveShortcuts(folders);
    return FALSE;
  }
  return CreateShortcuts(install_dir, desktop, start_menu, folders);
}

BOOL CreateShortcuts(const std::wstring& install_dir, bool desktop, bool start_menu,
                     const ShortcutFolders& folders) {
  // Old links may point at an earlier install directory: always start clean,
  // even when the user asked for no links at all.
  RemoveShortcuts(folders);

  const std::wstring main_program = MainProgramPath(install_dir);
  if (desktop) {
    const std::wstring link = JoinPath(folders.common_desktop, kProductLinkName);
    if (folders.common_desktop.empty() ||
        !CreateShellLink(main_program.c_str(), L"--from=desktop", link.c_str(),
                         main_program.c_str(), 0, FALSE)) {
      return FALSE;
    }
  }
  if (start_menu) {
    if (folders.common_programs.empty()) return FALSE;
    const std::wstring folder = JoinPath(folders.common_programs, kStartMenuFolderName);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring product_link = JoinPath(folder, kProductLinkName);
    if (!CreateShellLink(main_program.c_str(), L"--from=startmenu", product_link.c_str(),
                         main_program.c_str(), 0, FALSE)) {
      return FALSE;
    }
    const std::wstring uninstaller = JoinPath(install_dir, kUninstallerName);
    const std::wstring uninstall_link = JoinPath(folder, kUninstallLinkName);
    if (!CreateShellLink(uninstaller.c_str(), nullptr, uninstall_link.c_str(),
                         uninstaller.c_str(), 0, TRUE)) {
      return FALSE;
    }
  }
  return TRUE;
}

}  // namespace engine
