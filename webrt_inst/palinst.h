// The install run behind Palinst's exports, usable without the DLL so that
// tests can substitute the endpoints and time-outs.
#pragma once

#include <windows.h>

#include <future>

#include "webrt_inst/flow_config.h"

namespace webrt {

// The process-wide stop request: a manual-reset event that is never reset.
// The DLL creates it when it is attached; later calls keep the first event.
bool CreateStopEvent();
HANDLE StopEvent();
// The result of signalling the event; 0 when there is none.
int SignalStop();

// The module windows are created for (the DLL's instance); null: the module
// holding this code.
void SetModuleInstance(HINSTANCE instance);

// The calling thread's part of a run: an invisible window, its message loop
// (skipped when a stop was requested) and tear-down. `window` receives the
// window handle, or null when it could not be created.
void RunMain(const FlowConfig& config, std::promise<HWND>* window);

// A whole run: log, RunMain, final detection. 0 when a runtime is present at
// the end, -2 when not, -1 when the log could not be opened.
int RunInstWebView2(const FlowConfig& config);

}  // namespace webrt
