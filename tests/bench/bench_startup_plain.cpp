// The yardstick of the startup benchmark: a program that shows one plain
// window of the wizard's size, centred, filled with the wizard's accent green,
// and nothing else.
//
//   bench_startup_plain.exe          shows the window until it is closed
//   bench_startup_plain.exe --idle   shows nothing and waits (keeps Wine's
//                                    services up between timed runs)
#include <windows.h>

#include <cwchar>

namespace {

constexpr int kWidth = 690;
constexpr int kHeight = 446;
constexpr COLORREF kAccent = RGB(7, 193, 96);

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t* command_line, int show) {
  if (command_line && wcsstr(command_line, L"--idle")) {
    Sleep(INFINITE);
    return 0;
  }
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = CreateSolidBrush(kAccent);
  wc.lpszClassName = L"PelorixBenchPlainWindow";
  if (!RegisterClassExW(&wc)) return 1;
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - kWidth) / 2;
  const int y = work.top + (work.bottom - work.top - kHeight) / 2;
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Plain", WS_POPUP, x, y, kWidth, kHeight,
                              nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show == SW_HIDE ? SW_SHOWNORMAL : show);
  UpdateWindow(hwnd);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
