// Stands in for the running product: a top-level window of a given class
// that writes down what it is told.
//
//   fake_product.exe <ready event> <window class> <record file> [stay]
//
// Appends "broadcast" to the record file for each "PelorixUninstBroadcast"
// and "close" for each WM_CLOSE. Without "stay" it quits on WM_CLOSE (exit
// code 0); with it, it keeps running, as a hung product would. Sets the ready
// event once the window exists; gives up after a minute (exit code 3).
#include <windows.h>

#include <cwchar>

namespace {

const wchar_t* g_record = nullptr;
bool g_stay = false;
UINT g_broadcast = 0;
constexpr UINT_PTR kGiveUpTimer = 1;

void Record(const char* line) {
  HANDLE file = CreateFileW(g_record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  WriteFile(file, "\n", 1, &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == g_broadcast && g_broadcast != 0) {
    Record("broadcast");
    return 0;
  }
  switch (message) {
    case WM_CLOSE:
      Record("close");
      if (!g_stay) DestroyWindow(window);
      return 0;
    case WM_TIMER:
      PostQuitMessage(3);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4 && argc != 5) return 1;
  const wchar_t* ready_event = argv[1];
  const wchar_t* class_name = argv[2];
  g_record = argv[3];
  g_stay = argc == 5 && wcscmp(argv[4], L"stay") == 0;
  g_broadcast = RegisterWindowMessageW(L"PelorixUninstBroadcast");

  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = class_name;
  if (!RegisterClassW(&window_class)) return 2;
  HWND window = CreateWindowExW(0, class_name, L"fake product", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, window_class.hInstance, nullptr);
  if (!window) return 2;
  SetTimer(window, kGiveUpTimer, 60000, nullptr);

  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready_event);
  if (!ready) return 1;
  SetEvent(ready);
  CloseHandle(ready);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
