#include "ui/folder_browser.h"

#include <objbase.h>
#include <shlobj.h>

#include <vector>

namespace {

constexpr wchar_t kBrowseTitle[] = L"请选择目录";
// File-system folders only, file-system ancestors, edit box, new dialog style.
constexpr UINT kBrowseFlags = 0x59;
constexpr size_t kChosenPathChars = 4096;

UINT SystemDriveType(const wchar_t* root) { return GetDriveTypeW(root); }

int CALLBACK OnBrowseEvent(HWND dialog, UINT msg, LPARAM param, LPARAM) {
  if (msg != BFFM_SELCHANGED) return 0;
  wchar_t path[MAX_PATH] = {};
  const auto* item = reinterpret_cast<PCIDLIST_ABSOLUTE>(param);
  const bool has_path = item && SHGetPathFromIDListW(item, path) && path[0];
  const bool ok = IsSelectableFolder(has_path ? path : nullptr, SystemDriveType);
  SendMessageW(dialog, BFFM_ENABLEOK, 0, ok ? 1 : 0);
  // Some browsers set the OK button from their own file-system test after
  // this callback returns; asked again once that is done, ours is final.
  PostMessageW(dialog, BFFM_ENABLEOK, 0, ok ? 1 : 0);
  return 0;
}

}  // namespace

bool IsSelectableFolder(const wchar_t* path, UINT (*drive_type)(const wchar_t* root)) {
  if (!path || !path[0]) return false;
  if (path[1] != L':') return true;
  const wchar_t root[] = {path[0], L':', L'\\', L'\0'};
  return drive_type(root) == DRIVE_FIXED;
}

std::wstring AppendProductFolder(const std::wstring& chosen, const wchar_t* product_folder) {
  const size_t name_len = wcslen(product_folder);
  if (chosen.size() >= name_len &&
      _wcsicmp(chosen.c_str() + chosen.size() - name_len, product_folder) == 0) {
    return chosen;
  }
  std::wstring dir = chosen;
  // A drive root comes back as "X:\"; no second separator after it.
  if (dir.empty() || dir.back() != L'\\') dir += L'\\';
  return dir + product_folder;
}

std::wstring BrowseForInstallDir(HWND owner, const wchar_t* product_folder) {
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.lpszTitle = kBrowseTitle;
  info.ulFlags = kBrowseFlags;
  info.lpfn = OnBrowseEvent;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return std::wstring();
  std::vector<wchar_t> path(kChosenPathChars, L'\0');
  BOOL ok = SHGetPathFromIDListEx(item, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT);
  CoTaskMemFree(item);
  if (!ok || !path[0]) return std::wstring();
  return AppendProductFolder(path.data(), product_folder);
}
