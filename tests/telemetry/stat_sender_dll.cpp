// A library that reports statistics the way Install does when a host loads it
// and calls Start: the probe unloads it while its senders are still waiting.
#include <windows.h>

#include "telemetry/setup_statistics.h"

// Initialises this module's reporter with `url_template` and starts `count`
// asynchronous "start" events. Returns how many senders were started.
extern "C" __declspec(dllexport) int __stdcall StartSends(const wchar_t* url_template, int count) {
  Statistics()->Init(0, L"install", url_template);
  int started = 0;
  for (int i = 0; i < count; ++i) started += Statistics()->Report(L"start") ? 1 : 0;
  return started;
}
