#include "ui/ui_test_support.h"

namespace {

BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM found) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(hwnd)) {
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND FindThreadDialog(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(thread, MatchDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!done() && GetTickCount() - start < timeout_ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return done();
}

HWND WaitForThreadDialog(DWORD thread, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND hwnd = FindThreadDialog(thread)) return hwnd;
    if (GetTickCount() - start >= timeout_ms) return nullptr;
    Sleep(10);
  }
}
