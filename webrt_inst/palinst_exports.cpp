// The three exports of Palinst. Plain names (the DLL links with --kill-at);
// each is __stdcall, so the callee removes its arguments.

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "webrt_inst/installed_version.h"
#include "webrt_inst/palinst.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    webrt::SetModuleInstance(instance);
    webrt::CreateStopEvent();
  }
  return TRUE;
}

__declspec(dllexport) bool WINAPI IsExistWebView2(wchar_t* buffer, int capacity) {
  const std::wstring version = GetInstalledVersion();
  if (buffer && capacity > 0) {
    std::memset(buffer, 0, static_cast<size_t>(capacity) * sizeof(wchar_t));
    // At most `capacity` characters: a full buffer carries no terminator, as
    // the host's buffer was sized for that.
    std::wmemcpy(buffer, version.c_str(),
                 std::min<size_t>(version.size(), static_cast<size_t>(capacity)));
  }
  return !version.empty();
}

__declspec(dllexport) int WINAPI InstWebView2() {
  return webrt::RunInstWebView2(webrt::DefaultFlowConfig());
}

__declspec(dllexport) int WINAPI StopInst() { return webrt::SignalStop(); }

}  // extern "C"
