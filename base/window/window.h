// CWindow: a thin, non-owning wrapper around an HWND. Copying it copies the
// handle; destroying the object leaves the window alone.
#pragma once

#include <windows.h>

class CWindow {
 public:
  HWND m_hWnd = nullptr;

  CWindow(HWND hwnd = nullptr) : m_hWnd(hwnd) {}  // NOLINT: implicit like ATL's
  CWindow& operator=(HWND hwnd) {
    m_hWnd = hwnd;
    return *this;
  }
  operator HWND() const { return m_hWnd; }

  void Attach(HWND hwnd) { m_hWnd = hwnd; }
  HWND Detach() {
    HWND hwnd = m_hWnd;
    m_hWnd = nullptr;
    return hwnd;
  }

  BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  // m_hWnd is not touched after the call: a CWindowImpl clears it itself on
  // WM_NCDESTROY and may already have been deleted by OnFinalMessage.
  BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
  BOOL GetClientRect(RECT* rc) const { return ::GetClientRect(m_hWnd, rc); }
  BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }
  BOOL SetWindowPos(HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, insert_after, x, y, cx, cy, flags);
  }
  BOOL SetWindowPos(HWND insert_after, const RECT* rc, UINT flags) {
    return ::SetWindowPos(m_hWnd, insert_after, rc->left, rc->top, rc->right - rc->left,
                          rc->bottom - rc->top, flags);
  }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }

  // windows.h maps these names to their W forms; the members follow suit.
  BOOL PostMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
    return ::PostMessageW(m_hWnd, msg, wparam, lparam);
  }
  LRESULT SendMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0) {
    return ::SendMessageW(m_hWnd, msg, wparam, lparam);
  }
};
