// Sample main program of the product, installed as "Nexhub\pelorix\pelorix_ui.exe".
//
// It stands in for the real product so that the setup can be exercised end to end:
// - every launch appends its full command line (GetCommandLineW, UTF-8, one line)
//   to %ProgramData%\PelorixSample\launches.log;
// - it shows one top-level window of class "PelorixMainWndClassName";
// - it quits on WM_CLOSE and on the registered message "PelorixUninstBroadcast",
//   which is how a setup or uninstaller asks a running copy to let go of its files.
#include <windows.h>

#include "sample_product/sample_log.h"

namespace {

constexpr wchar_t kWindowClass[] = L"PelorixMainWndClassName";
constexpr wchar_t kUninstBroadcast[] = L"PelorixUninstBroadcast";

UINT g_uninst_broadcast = 0;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == g_uninst_broadcast && g_uninst_broadcast != 0) {
    DestroyWindow(window);
    return 0;
  }
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  sample::AppendLogLine(L"launches.log", GetCommandLineW());

  g_uninst_broadcast = RegisterWindowMessageW(kUninstBroadcast);
  // Started by the elevated setup, the product runs elevated itself; let a
  // broadcast from a non-elevated sender through UIPI.
  if (g_uninst_broadcast) ChangeWindowMessageFilter(g_uninst_broadcast, MSGFLT_ADD);

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = MainWndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&wc)) return 1;

  HWND window = CreateWindowExW(0, kWindowClass, L"Pelorix", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 640, 420, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
