#include "base/window/ui_thread_window.h"

#include <atomic>

#include "base/critical_section.h"

namespace {

// Written once on the UI thread before any worker that sends to it starts;
// read from any thread.
std::atomic<CUIThreadWindow*> g_dispatcher{nullptr};

// Function-local: valid even when the module's constructors never ran.
CCriticalSection& DispatcherLock() {
  static CCriticalSection lock;
  return lock;
}

}  // namespace

LRESULT CUIThreadWindow::OnRunBoundCall(UINT, WPARAM wparam, LPARAM, BOOL&) {
  auto* call = reinterpret_cast<ISimpleBind*>(wparam);
  if (!call) return 0;
  call->Invoke();
  return 1;
}

int CreateUIThreadWindow() {
  if (g_dispatcher.load(std::memory_order_acquire)) return 1;
  CAutoLocker lock(DispatcherLock());
  if (g_dispatcher.load(std::memory_order_relaxed)) return 1;
  auto* window = new CUIThreadWindow();
  // Never shown: no WS_VISIBLE, and no ShowWindow anywhere.
  if (!window->Create(nullptr, nullptr, nullptr, WS_POPUP, 0)) {
    const DWORD error = GetLastError();
    delete window;
    SetLastError(error);
    return 0;
  }
  g_dispatcher.store(window, std::memory_order_release);
  return 1;
}

HWND UIThreadWindowHandle() {
  CUIThreadWindow* window = g_dispatcher.load(std::memory_order_acquire);
  return window ? window->m_hWnd : nullptr;
}

BOOL RunOnUIThread(ISimpleBind* call) {
  HWND hwnd = UIThreadWindowHandle();
  if (!hwnd) return FALSE;
  return SendMessageW(hwnd, kMsgRunBoundCall, reinterpret_cast<WPARAM>(call), 0) == 1;
}

void DestroyUIThreadWindow() {
  CAutoLocker lock(DispatcherLock());
  CUIThreadWindow* window = g_dispatcher.exchange(nullptr);
  if (!window) return;
  if (window->m_hWnd) window->DestroyWindow();
  delete window;
}
