#include "webrt_inst/palinst.h"

#include <commctrl.h>

#include <memory>

#include "base/system_library.h"
#include "base/window/app_module.h"
#include "base/window/message_loop.h"
#include "log/logger.h"
#include "webrt_inst/scoped_co_init.h"
#include "webrt_inst/installed_version.h"
#include "webrt_inst/main_window.h"
#include "webrt_inst/tray_client.h"

namespace webrt {
namespace {

HANDLE g_stop_event = nullptr;
HINSTANCE g_module = nullptr;

// GDI+ for the lifetime of the scope. gdiplus.dll is not a known DLL, so it is
// taken from System32 by name; without it the run simply goes on.
class ScopedGdiplus {
 public:
  ScopedGdiplus() {
    struct StartupInput {
      UINT32 version = 1;
      void* debug_callback = nullptr;
      BOOL suppress_background_thread = FALSE;
      BOOL suppress_external_codecs = FALSE;
    } input;
    using StartupFn = int(WINAPI*)(ULONG_PTR*, const StartupInput*, void*);
    auto startup = base::GetSystemProcAs<StartupFn>(L"gdiplus.dll", "GdiplusStartup");
    if (startup && startup(&token_, &input, nullptr) != 0) token_ = 0;
  }
  ~ScopedGdiplus() {
    using ShutdownFn = void(WINAPI*)(ULONG_PTR);
    auto shutdown = base::GetSystemProcAs<ShutdownFn>(L"gdiplus.dll", "GdiplusShutdown");
    if (token_ && shutdown) shutdown(token_);
  }
  ScopedGdiplus(const ScopedGdiplus&) = delete;
  ScopedGdiplus& operator=(const ScopedGdiplus&) = delete;

 private:
  ULONG_PTR token_ = 0;
};

// comctl32 is not a known DLL either.
void InitCommonControlsByName() {
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_BAR_CLASSES;
  if (auto init = base::GetSystemProcAs<InitFn>(L"comctl32.dll", "InitCommonControlsEx")) {
    init(&controls);
  }
}

bool StopRequested() {
  return g_stop_event && WaitForSingleObject(g_stop_event, 0) == WAIT_OBJECT_0;
}

}  // namespace

bool CreateStopEvent() {
  if (!g_stop_event) g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return g_stop_event != nullptr;
}

HANDLE StopEvent() { return g_stop_event; }

int SignalStop() { return g_stop_event ? SetEvent(g_stop_event) : 0; }

void SetModuleInstance(HINSTANCE instance) { g_module = instance; }

void RunMain(const FlowConfig& config, std::promise<HWND>* window_promise) {
  LOG_INFO << "start RunMain. thread id is " << GetCurrentThreadId();
  {
    ScopedCoInit com;
    ScopedGdiplus gdiplus;
    AppModule().Init(g_module);

    auto window = std::make_shared<MainWindow>(config, g_stop_event);
    const HWND hwnd =
        window->Create(nullptr, nullptr, nullptr, WS_POPUP | WS_SYSMENU, WS_EX_LAYERED);
    if (window_promise) window_promise->set_value(hwnd);
    if (hwnd) {
      LOG_INFO << "create window.";
    } else {
      LOG_ERR << "create window fail.";
    }

    if (hwnd && g_stop_event && !StopRequested()) {
      CMessageLoop loop;
      const BOOL registered = AppModule().AddMessageLoop(&loop);
      loop.Run();
      if (registered) AppModule().RemoveMessageLoop();
      LOG_INFO << "quit message loop.";
    }

    LOG_INFO << "destroy main_window.";
    if (window->IsWindow()) {
      // The loop did not run: the window's WM_QUIT must not reach the host's
      // own message loop on this thread.
      window->DestroyWindow();
      MSG msg;
      PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    LOG_INFO << "delete main_window_.";
    window.reset();
    // A later run may come from a copy of this DLL loaded elsewhere.
    AppModule().Term();
  }
  LOG_INFO << "end RunMain.";
}

int RunInstWebView2(const FlowConfig& config) {
  const HRESULT com = CoInitialize(nullptr);
  InitCommonControlsByName();
  int result = -1;
  {
    TrayClient client;
    if (client.OpenLog()) {
      std::promise<HWND> window;
      RunMain(config, &window);
      client.CloseLog();
      result = GetInstalledVersion().empty() ? -2 : 0;
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}

}  // namespace webrt
