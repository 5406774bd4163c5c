// CDialogImpl<T>: a dialog built from the template resource T::IDD (looked up
// in AppModule().GetResourceInstance()) whose messages go to T's message map.
//
//   class CAboutDlg : public CDialogImpl<CAboutDlg> {
//    public:
//     enum { IDD = IDD_ABOUT };
//     BEGIN_MSG_MAP(CAboutDlg)
//       MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
//       COMMAND_ID_HANDLER(IDOK, OnClose)
//     END_MSG_MAP()
//     ...
//   };
//
// A handled message's value reaches the sender through DWLP_MSGRESULT, or as
// the dialog procedure's return value for the messages that are defined that
// way (WM_INITDIALOG, WM_CTLCOLOR*, ...). Unhandled messages go to the
// system's dialog manager. DWLP_USER belongs to the framework.
#pragma once

#include <windows.h>

#include "base/window/app_module.h"
#include "base/window/message_map.h"
#include "base/window/window.h"
#include "base/window/window_creation.h"

template <class TBase = CWindow>
class CDialogImplBaseT : public TBase, public CMessageMap {
 public:
  CDialogImplBaseT() = default;
  CDialogImplBaseT(const CDialogImplBaseT&) = delete;
  CDialogImplBaseT& operator=(const CDialogImplBaseT&) = delete;

  virtual ~CDialogImplBaseT() {
    if (this->m_hWnd && ::IsWindow(this->m_hWnd)) {
      ::SetWindowLongPtrW(this->m_hWnd, DWLP_USER, kDetached);
    }
  }

  // Called once the dialog is gone (after WM_NCDESTROY); m_hWnd is already null.
  virtual void OnFinalMessage(HWND hwnd) {}

 protected:
  static constexpr LONG_PTR kDetached = -1;

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    LONG_PTR slot = ::GetWindowLongPtrW(hwnd, DWLP_USER);
    if (slot == kDetached) return FALSE;
    auto* self = reinterpret_cast<CDialogImplBaseT*>(slot);
    if (!self) {
      self = static_cast<CDialogImplBaseT*>(window_detail::TakeWindowBeingCreated(0));
      if (!self) return FALSE;
      self->m_hWnd = hwnd;
      ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }

    // As in CWindowImpl: after this call only the WM_NCDESTROY branch may
    // touch `self`.
    LRESULT result = 0;
    const BOOL handled = self->ProcessWindowMessage(hwnd, msg, wparam, lparam, result, 0);
    if (msg == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      self->m_hWnd = nullptr;
      self->OnFinalMessage(hwnd);
      return FALSE;  // the dialog manager still frees its own state
    }
    if (!handled) return FALSE;
    if (ReturnsValueDirectly(msg)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
  }

 private:
  // The messages whose dialog-procedure return value is the result itself
  // rather than a "handled" flag.
  static bool ReturnsValueDirectly(UINT msg) {
    switch (msg) {
      case WM_INITDIALOG:
      case WM_CHARTOITEM:
      case WM_VKEYTOITEM:
      case WM_COMPAREITEM:
      case WM_QUERYDRAGICON:
      case WM_CTLCOLORMSGBOX:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG:
      case WM_CTLCOLORSCROLLBAR:
      case WM_CTLCOLORSTATIC:
        return true;
    }
    return false;
  }
};

template <class T, class TBase = CWindow>
class CDialogImpl : public CDialogImplBaseT<TBase> {
 public:
  // Runs the dialog modally; `init` arrives as WM_INITDIALOG's lParam. Returns
  // what EndDialog was given, or -1 when the dialog could not be created
  // (GetLastError), including when this object already has a window.
  INT_PTR DoModal(HWND parent = ::GetActiveWindow(), LPARAM init = 0) {
    if (this->m_hWnd) {
      ::SetLastError(ERROR_ALREADY_EXISTS);
      return -1;
    }
    using Base = CDialogImplBaseT<TBase>;
    window_detail::CWindowCreationScope creating(static_cast<Base*>(this), 0);
    return ::DialogBoxParamW(AppModule().GetResourceInstance(), MAKEINTRESOURCEW(T::IDD), parent,
                             &Base::DialogProc, init);
  }

  // Ends a modal dialog; DoModal returns `result`.
  BOOL EndDialog(int result) { return ::EndDialog(this->m_hWnd, result); }

  // Creates the dialog modelessly; close it with DestroyWindow, not EndDialog.
  // A modeless dialog only gets keyboard navigation if a message filter
  // passes its messages to IsDialogMessage.
  HWND Create(HWND parent, LPARAM init = 0) {
    if (this->m_hWnd) {
      ::SetLastError(ERROR_ALREADY_EXISTS);
      return nullptr;
    }
    using Base = CDialogImplBaseT<TBase>;
    window_detail::CWindowCreationScope creating(static_cast<Base*>(this), 0);
    return ::CreateDialogParamW(AppModule().GetResourceInstance(), MAKEINTRESOURCEW(T::IDD),
                                parent, &Base::DialogProc, init);
  }
};
