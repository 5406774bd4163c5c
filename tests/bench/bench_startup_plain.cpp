// The yardstick of the startup benchmark: a program that shows one plain
// window of the wizard's size, centred, filled with the wizard's accent green,
// and nothing else. Options add, one by one, what the wizard cannot do
// without, so the benchmark can tell what they cost on their own:
//
//   bench_startup_plain.exe          shows the window until it is closed
//   bench_startup_plain.exe --idle   shows nothing and waits (keeps Wine's
//                                    services up between timed runs)
//   --com                 enters a COM apartment first
//   --common-controls     initialises the common controls first
//   --layered-gdiplus     a layered window whose 32-bit frame GDI+ fills and
//                         UpdateLayeredWindow presents, as the wizard's is
//
// The libraries behind the options are bound only when asked for, so the
// plain run loads no more than user32 and gdi32.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

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

template <class Fn>
Fn Bind(const wchar_t* library, const char* name) {
  HMODULE module = LoadLibraryW(library);
  return module ? reinterpret_cast<Fn>(GetProcAddress(module, name)) : nullptr;
}

void EnterApartment() {
  using Fn = HRESULT(WINAPI*)(void*);
  if (auto init = Bind<Fn>(L"ole32.dll", "CoInitialize")) init(nullptr);
}

void InitCommonControlsAtRunTime() {
  using Fn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
  if (auto init = Bind<Fn>(L"comctl32.dll", "InitCommonControlsEx")) init(&icc);
}

// The flat GDI+ calls a one-colour frame needs.
struct Gdiplus {
  struct StartupInput {
    UINT32 version = 1;
    void* debug_callback = nullptr;
    BOOL suppress_thread = FALSE;
    BOOL suppress_codecs = FALSE;
  };
  using StartupFn = int(WINAPI*)(ULONG_PTR*, const StartupInput*, void*);
  using FromHdcFn = int(WINAPI*)(HDC, void**);
  using SolidFillFn = int(WINAPI*)(DWORD, void**);
  using FillRectFn = int(WINAPI*)(void*, void*, INT, INT, INT, INT);
  using DeleteFn = int(WINAPI*)(void*);

  bool Start() {
    startup = Bind<StartupFn>(L"gdiplus.dll", "GdiplusStartup");
    from_hdc = Bind<FromHdcFn>(L"gdiplus.dll", "GdipCreateFromHDC");
    solid_fill = Bind<SolidFillFn>(L"gdiplus.dll", "GdipCreateSolidFill");
    fill_rect = Bind<FillRectFn>(L"gdiplus.dll", "GdipFillRectangleI");
    delete_brush = Bind<DeleteFn>(L"gdiplus.dll", "GdipDeleteBrush");
    delete_graphics = Bind<DeleteFn>(L"gdiplus.dll", "GdipDeleteGraphics");
    StartupInput input;
    return startup && from_hdc && solid_fill && fill_rect && delete_brush && delete_graphics &&
           startup(&token, &input, nullptr) == 0;
  }
  bool Fill(HDC dc, int width, int height, COLORREF color) {
    void* graphics = nullptr;
    void* brush = nullptr;
    const DWORD argb = 0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
    const bool ok = from_hdc(dc, &graphics) == 0 && solid_fill(argb, &brush) == 0 &&
                    fill_rect(graphics, brush, 0, 0, width, height) == 0;
    if (brush) delete_brush(brush);
    if (graphics) delete_graphics(graphics);
    GdiFlush();
    return ok;
  }

  ULONG_PTR token = 0;
  StartupFn startup = nullptr;
  FromHdcFn from_hdc = nullptr;
  SolidFillFn solid_fill = nullptr;
  FillRectFn fill_rect = nullptr;
  DeleteFn delete_brush = nullptr;
  DeleteFn delete_graphics = nullptr;
};

// Composes the whole frame with GDI+ and hands it to the layered window.
bool PresentLayeredFrame(HWND hwnd, Gdiplus& gdiplus, POINT position) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = bitmap ? SelectObject(dc, bitmap) : nullptr;
  bool ok = bitmap && gdiplus.Fill(dc, kWidth, kHeight, kAccent);
  if (ok) {
    SIZE size = {kWidth, kHeight};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ok = UpdateLayeredWindow(hwnd, screen, &position, &size, dc, &source, 0, &blend, ULW_ALPHA) != FALSE;
  }
  if (old) SelectObject(dc, old);
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t* command_line, int show) {
  const auto has = [command_line](const wchar_t* option) {
    return command_line && wcsstr(command_line, option) != nullptr;
  };
  if (has(L"--idle")) {
    Sleep(INFINITE);
    return 0;
  }
  if (has(L"--com")) EnterApartment();
  if (has(L"--common-controls")) InitCommonControlsAtRunTime();
  const bool layered = has(L"--layered-gdiplus");
  Gdiplus gdiplus;
  if (layered && !gdiplus.Start()) return 1;

  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = PlainProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = layered ? nullptr : CreateSolidBrush(kAccent);
  wc.lpszClassName = L"PelorixBenchPlainWindow";
  if (!RegisterClassExW(&wc)) return 1;
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const POINT position = {work.left + (work.right - work.left - kWidth) / 2,
                          work.top + (work.bottom - work.top - kHeight) / 2};
  HWND hwnd = CreateWindowExW(layered ? WS_EX_LAYERED : 0, wc.lpszClassName, L"Plain", WS_POPUP,
                              position.x, position.y, kWidth, kHeight, nullptr, nullptr, instance,
                              nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, show == SW_HIDE ? SW_SHOWNORMAL : show);
  if (layered) {
    if (!PresentLayeredFrame(hwnd, gdiplus, position)) return 1;
  } else {
    UpdateWindow(hwnd);
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
