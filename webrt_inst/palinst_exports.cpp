// The three exports of Palinst.
//
// Detection is complete. The download-and-install flow is not built yet, so
// InstWebView2 only reports whether a runtime is present (0) or missing (-2).

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "webrt_inst/installed_version.h"

namespace {
// Process-wide stop request: manual reset, never reset once signalled.
HANDLE g_stop_event = nullptr;
}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    g_stop_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  return TRUE;
}

__declspec(dllexport) bool WINAPI IsExistWebView2(wchar_t* buffer, int capacity) {
  const std::wstring version = GetInstalledVersion();
  if (buffer && capacity > 0) {
    std::memset(buffer, 0, static_cast<size_t>(capacity) * sizeof(wchar_t));
    // Truncates to `capacity` characters; the caller sized the buffer.
    std::wmemcpy(buffer, version.c_str(), std::min<size_t>(version.size(), static_cast<size_t>(capacity)));
  }
  return !version.empty();
}

__declspec(dllexport) int WINAPI InstWebView2() {
  return GetInstalledVersion().empty() ? -2 : 0;
}

__declspec(dllexport) int WINAPI StopInst() {
  return g_stop_event ? SetEvent(g_stop_event) : 0;
}

}  // extern "C"
