// Looks at the running setup's wizard from another process in the same Wine
// prefix, where an X server without a window manager cannot tell:
//
//   wizard_probe state      prints "found=1 visible=1 iconic=0 foreground=1"
//   wizard_probe minimize   minimises the wizard (as the taskbar would)
//   wizard_probe browse     prints "ok_enabled=1" or "ok_enabled=0" for the
//                           folder browser the wizard shows
//
// Exit code 0 when the wizard window exists, 1 when it does not.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

struct DialogSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK MatchOwnedDialog(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (wcscmp(name, L"#32770") == 0 && GetWindow(hwnd, GW_OWNER) == search->owner &&
      IsWindowVisible(hwnd)) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HWND wizard = FindWindowExW(nullptr, nullptr, L"PelorixSetupMainWndClassName", nullptr);
  if (argc > 1 && wcscmp(argv[1], L"browse") == 0) {
    DialogSearch search = {wizard, nullptr};
    if (wizard) EnumWindows(MatchOwnedDialog, reinterpret_cast<LPARAM>(&search));
    HWND ok = search.found ? GetDlgItem(search.found, IDOK) : nullptr;
    std::printf("ok_enabled=%d\n", ok && IsWindowEnabled(ok) ? 1 : 0);
    return search.found ? 0 : 1;
  }
  if (argc > 1 && wcscmp(argv[1], L"minimize") == 0 && wizard) {
    ShowWindow(wizard, SW_MINIMIZE);
    Sleep(300);
  }
  std::printf("found=%d visible=%d iconic=%d foreground=%d\n", wizard ? 1 : 0,
              wizard && IsWindowVisible(wizard) ? 1 : 0, wizard && IsIconic(wizard) ? 1 : 0,
              wizard && GetForegroundWindow() == wizard ? 1 : 0);
  return wizard ? 0 : 1;
}
