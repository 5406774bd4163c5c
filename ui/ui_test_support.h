// Helpers of the interface tests: pumping the UI thread and finding the
// message box it shows.
#pragma once

#include <windows.h>

#include <functional>

// The visible dialog (class "#32770") of `thread`, or null.
HWND FindThreadDialog(DWORD thread);

// Dispatches messages on the calling thread until `done` or `timeout_ms`;
// returns `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms);

// Polls from another thread until `thread` shows a dialog; null on timeout.
HWND WaitForThreadDialog(DWORD thread, DWORD timeout_ms);
