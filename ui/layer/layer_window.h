// ILayerWindow: what a layer control needs from the window that owns it, and
// the window messages of the toolkit.
#pragma once

#include <windows.h>

// Recompose the frame; lParam is a heap RECT* (window coordinates) that the
// handler deletes, or 0 for the whole window.
constexpr UINT kMsgLayerRecompose = 0x3400;
// A non-looping animation reached its end; wParam is the control id.
constexpr UINT kMsgLayerAnimationDone = 0x3402;

// Colour value meaning "none, do not paint".
constexpr COLORREF kNoColor = 0xFFFFFFFF;
// Every fill and every text is drawn with this alpha, not 255.
constexpr BYTE kLayerAlpha = 254;

class ILayerWindow {
 public:
  // When set, groups draw a focus rectangle around every child they draw.
  virtual BOOL GetFocusRectFlag() = 0;
  virtual void SetFocusRectFlag(BOOL show) = 0;
  virtual HWND GetHwnd() = 0;
  // Shows `text` as the window's tooltip (hidden when `show` is false or the
  // text is empty).
  virtual void ShowToolTip(BOOL show, const wchar_t* text) = 0;
  // One window timer per id, reference-counted: a second request for a
  // running id only counts, and KillTimer stops it when the count drops to 0.
  virtual BOOL SetTimer(UINT id, UINT interval) = 0;
  virtual BOOL KillTimer(UINT id) = 0;
  virtual BOOL PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) = 0;
  virtual LRESULT SendMessage(UINT msg, WPARAM wparam, LPARAM lparam) = 0;
  // Asks for a recomposition of `rect` (window coordinates; null: everything).
  virtual void InvalidateRect(const RECT* rect) = 0;

 protected:
  ~ILayerWindow() = default;
};
