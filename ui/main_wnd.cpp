#include "ui/main_wnd.h"

#include "setup/process_state.h"

LRESULT CMainWnd::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
  // No page exists to show yet: end the wizard as soon as the loop runs.
  PostMessage(WM_CLOSE);
  return 0;
}

LRESULT CMainWnd::OnActivateRequest(UINT, WPARAM, LPARAM, BOOL&) {
  if (IsSilent()) return 0;
  if (IsIconic(m_hWnd)) ShowWindow(SW_RESTORE);
  SetForegroundWindow(m_hWnd);
  return 0;
}

LRESULT CMainWnd::OnClose(UINT, WPARAM, LPARAM, BOOL&) {
  DestroyWindow();
  return 0;
}

LRESULT CMainWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) {
  PostQuitMessage(0);
  return 0;
}
