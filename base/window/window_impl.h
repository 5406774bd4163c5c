// CWindowImpl<T>: a window whose messages go to T's message map.
//
//   class CMainWnd : public CWindowImpl<CMainWnd, CWindow, CFrameWinTraits> {
//    public:
//     DECLARE_WND_CLASS(L"PelorixMain")        // optional: else "ATL:<addr>"
//     BEGIN_MSG_MAP(CMainWnd)
//       MESSAGE_HANDLER(WM_SIZE, OnSize)
//     END_MSG_MAP()
//     ...
//   };
//
// Messages the map does not handle go to DefWindowProc. The object is bound to
// the window from its very first message (WM_GETMINMAXINFO comes before
// WM_NCCREATE), and unbound after WM_NCDESTROY, when m_hWnd is cleared and
// OnFinalMessage runs; OnFinalMessage may `delete this`.
//
// The object must outlive its window; if it does not, the window is left to
// DefWindowProc rather than to a dangling object.
#pragma once

#include <windows.h>

#include "base/window/app_module.h"
#include "base/window/message_map.h"
#include "base/window/window.h"
#include "base/window/window_class.h"
#include "base/window/window_creation.h"
#include "base/window/window_traits.h"

// The menu or child-window id argument of Create, as CreateWindowEx takes it.
class CMenuOrId {
 public:
  CMenuOrId(HMENU menu) : m_hMenu(menu) {}  // NOLINT: implicit by design
  CMenuOrId(UINT id) : m_hMenu(reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))) {}  // NOLINT
  CMenuOrId(int id) : CMenuOrId(static_cast<UINT>(id)) {}  // NOLINT: a literal 0
  HMENU m_hMenu;
};

template <class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImplBaseT : public TBase, public CMessageMap {
 public:
  CWindowImplBaseT() = default;
  CWindowImplBaseT(const CWindowImplBaseT&) = delete;
  CWindowImplBaseT& operator=(const CWindowImplBaseT&) = delete;

  virtual ~CWindowImplBaseT() {
    if (this->m_hWnd && ::IsWindow(this->m_hWnd)) {
      ::SetWindowLongPtrW(this->m_hWnd, kWndObjectSlot, kDetached);
    }
  }

  // Called once the window is gone (after WM_NCDESTROY); m_hWnd is already null.
  virtual void OnFinalMessage(HWND hwnd) {}

  // For handlers that want the default processing first (or at all).
  LRESULT DefWindowProc(UINT msg, WPARAM wparam, LPARAM lparam) {
    return ::DefWindowProcW(this->m_hWnd, msg, wparam, lparam);
  }

  static DWORD GetWndStyle(DWORD style) { return TWinTraits::GetWndStyle(style); }
  static DWORD GetWndExStyle(DWORD exstyle) { return TWinTraits::GetWndExStyle(exstyle); }

 protected:
  // Marks a window whose object has gone away.
  static constexpr LONG_PTR kDetached = -1;

  HWND CreateWithClass(ATOM atom, HWND parent, const RECT* rc, const wchar_t* name, DWORD style,
                       DWORD exstyle, HMENU menu, void* create_param) {
    if (this->m_hWnd) {
      ::SetLastError(ERROR_ALREADY_EXISTS);
      return nullptr;
    }
    static const RECT kDefaultRect = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
    if (!rc) rc = &kDefaultRect;
    window_detail::CWindowCreationScope creating(static_cast<CWindowImplBaseT*>(this), atom);
    // m_hWnd was set by the first message; the return value agrees with it.
    return ::CreateWindowExW(exstyle, MAKEINTATOM(atom), name, style, rc->left, rc->top,
                             rc->right - rc->left, rc->bottom - rc->top, parent, menu,
                             AppModule().GetModuleInstance(), create_param);
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    LONG_PTR slot = ::GetWindowLongPtrW(hwnd, kWndObjectSlot);
    if (slot == kDetached) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
    auto* self = reinterpret_cast<CWindowImplBaseT*>(slot);
    if (!self) {
      const ATOM atom = static_cast<ATOM>(::GetClassLongW(hwnd, GCW_ATOM));
      self = static_cast<CWindowImplBaseT*>(window_detail::TakeWindowBeingCreated(atom));
      // A window of our class made with a bare CreateWindowEx has no object.
      if (!self) return ::DefWindowProcW(hwnd, msg, wparam, lparam);
      self->m_hWnd = hwnd;
      ::SetWindowLongPtrW(hwnd, kWndObjectSlot, reinterpret_cast<LONG_PTR>(self));
    }

    // Handlers may destroy the window and OnFinalMessage may delete `self`:
    // past this call only the WM_NCDESTROY branch, which is that very last
    // message, touches the object.
    LRESULT result = 0;
    if (!self->ProcessWindowMessage(hwnd, msg, wparam, lparam, result, 0)) {
      result = ::DefWindowProcW(hwnd, msg, wparam, lparam);
    }
    if (msg == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, kWndObjectSlot, 0);
      self->m_hWnd = nullptr;
      self->OnFinalMessage(hwnd);
    }
    return result;
  }
};

template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public CWindowImplBaseT<TBase, TWinTraits> {
 public:
  DECLARE_WND_CLASS(nullptr)

  // Registers T's window class on first use and creates the window. A style
  // or extended style of 0 takes the traits' default; a null rectangle the
  // system's default position and size. Returns null on failure
  // (GetLastError), including when this object already has a window.
  HWND Create(HWND parent, const RECT* rc = nullptr, const wchar_t* window_name = nullptr,
              DWORD style = 0, DWORD exstyle = 0, CMenuOrId menu_or_id = 0U,
              void* create_param = nullptr) {
    using Base = CWindowImplBaseT<TBase, TWinTraits>;
    const ATOM atom = T::GetWndClassInfo().Register(&Base::WindowProc);
    if (!atom) return nullptr;
    return Base::CreateWithClass(atom, parent, rc, window_name, T::GetWndStyle(style),
                                 T::GetWndExStyle(exstyle), menu_or_id.m_hMenu, create_param);
  }
};
