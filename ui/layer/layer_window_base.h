// CLayerWindowBase<T>: a per-pixel-alpha layered window whose content is the
// root view of layer controls, composed into one frame and handed to
// UpdateLayeredWindow on every kMsgLayerRecompose.
//
// A derived window chains this map first; creation, sizing and theme changes
// are also passed on to it:
//
//   class CMainWnd : public CLayerWindowBase<CMainWnd> {
//     BEGIN_MSG_MAP(CMainWnd)
//       CHAIN_MSG_MAP(CLayerWindowBase<CMainWnd>)
//       MESSAGE_HANDLER(WM_CREATE, OnCreate)   // the root view exists by now
//     END_MSG_MAP()
//   };
//
// Left presses that no control takes (or that a pass-through control passes)
// are declined, so the derived window or DefWindowProc can act on them.
#pragma once

#include <windows.h>

#include <memory>

#include "base/window/window_impl.h"
#include "ui/layer/layer_control_group.h"
#include "ui/layer/layer_frame.h"
#include "ui/layer/layer_paint.h"
#include "ui/layer/layer_timers.h"
#include "ui/layer/layer_tooltip.h"

using CLayerWinTraits = CWinTraits<WS_POPUP, WS_EX_LAYERED>;

template <class T, class TWinTraits = CLayerWinTraits>
class CLayerWindowBase : public CWindowImpl<T, CWindow, TWinTraits>,
                         public ILayerWindow,
                         private ILayerFrameHooks {
 public:
  BEGIN_MSG_MAP(CLayerWindowBase)
    MESSAGE_HANDLER(WM_CREATE, OnLayerCreate)
    MESSAGE_HANDLER(WM_SIZE, OnLayerSize)
    MESSAGE_HANDLER(WM_THEMECHANGED, OnLayerThemeChanged)
    MESSAGE_HANDLER(kMsgLayerRecompose, OnLayerRecompose)
    MESSAGE_HANDLER(WM_MOUSEMOVE, OnLayerMouseMove)
    MESSAGE_HANDLER(WM_MOUSELEAVE, OnLayerMouseLeave)
    MESSAGE_HANDLER(WM_MOUSEHOVER, OnLayerMouseRelay)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnLayerLButtonDown)
    MESSAGE_HANDLER(WM_LBUTTONDBLCLK, OnLayerLButtonDown)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnLayerLButtonUp)
    MESSAGE_HANDLER(WM_RBUTTONDOWN, OnLayerMouseRelay)
    MESSAGE_HANDLER(WM_RBUTTONUP, OnLayerMouseRelay)
    MESSAGE_HANDLER(WM_SETCURSOR, OnLayerSetCursor)
    MESSAGE_HANDLER(WM_TIMER, OnLayerTimer)
    MESSAGE_HANDLER(WM_NCDESTROY, OnLayerNcDestroy)
  END_MSG_MAP()

  CLayerControlRootView* GetRootView() const { return root_.get(); }
  CLayerFrame& GetFrame() { return frame_; }
  const CLayerToolTip& GetToolTipWindow() const { return tooltip_; }
  void SetTextSmoothing(bool on) { text_smoothing_ = on; }
  void SetConstantAlpha(BYTE alpha) { constant_alpha_ = alpha; }
  // Composes (and presents) right away rather than through the queue.
  bool ComposeNow(const RECT* clip) {
    if (!Compose(clip)) return false;
    PresentFrame();
    return true;
  }
  // Composes the whole frame without handing it to the screen; requests
  // already queued are served by it and dropped.
  bool ComposeFrame() {
    if (!Compose(nullptr)) return false;
    DropQueuedRecompositions();
    return true;
  }
  // Hands the last composed frame to the screen.
  bool PresentFrame() { return frame_.Present(this->m_hWnd, constant_alpha_); }

  // ILayerWindow
  BOOL GetFocusRectFlag() override { return focus_rect_; }
  void SetFocusRectFlag(BOOL show) override { focus_rect_ = show; }
  HWND GetHwnd() override { return this->m_hWnd; }
  void ShowToolTip(BOOL show, const wchar_t* text) override {
    if (show && text && *text)
      tooltip_.Show(this->m_hWnd, text);
    else
      tooltip_.Hide();
  }
  BOOL SetTimer(UINT id, UINT interval) override {
    return timers_.Acquire(this->m_hWnd, id, interval);
  }
  BOOL KillTimer(UINT id) override { return timers_.Release(this->m_hWnd, id); }
  BOOL PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    return ::PostMessageW(this->m_hWnd, msg, wparam, lparam);
  }
  LRESULT SendMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    return ::SendMessageW(this->m_hWnd, msg, wparam, lparam);
  }
  void InvalidateRect(const RECT* rect) override {
    RECT* copy = rect ? new RECT(*rect) : nullptr;
    if (!::PostMessageW(this->m_hWnd, kMsgLayerRecompose, 0, reinterpret_cast<LPARAM>(copy)))
      delete copy;
  }

 protected:
  // Hooks of the composition; the background is cached until marked dirty.
  void DrawFrameBackground(HDC dc, const RECT& client) override {}
  void DrawBeforeControls(HDC dc) override {}
  void DrawControls(HDC dc) override {
    if (root_) root_->Draw(dc);
  }
  void DrawAfterControls(HDC dc) override {}

 private:
  LRESULT OnLayerCreate(UINT, WPARAM, LPARAM, BOOL& handled) {
    RECT client = {};
    this->GetClientRect(&client);
    root_.reset(new CLayerControlRootView(this, client.right, client.bottom));
    frame_.MarkBackgroundDirty();
    handled = FALSE;
    return 0;
  }
  LRESULT OnLayerSize(UINT, WPARAM, LPARAM lparam, BOOL& handled) {
    if (root_) root_->SetPos(0, 0, LOWORD(lparam), HIWORD(lparam), FALSE);
    frame_.MarkBackgroundDirty();
    InvalidateRect(nullptr);
    handled = FALSE;
    return 0;
  }
  LRESULT OnLayerThemeChanged(UINT, WPARAM, LPARAM, BOOL& handled) {
    frame_.MarkBackgroundDirty();
    InvalidateRect(nullptr);
    handled = FALSE;
    return 0;
  }
  LRESULT OnLayerRecompose(UINT, WPARAM, LPARAM lparam, BOOL&) {
    std::unique_ptr<RECT> clip(reinterpret_cast<RECT*>(lparam));
    // Requests already queued are folded into this one: one frame over their
    // union serves them all (a window's creation alone queues several).
    MSG queued;
    while (::PeekMessageW(&queued, this->m_hWnd, kMsgLayerRecompose, kMsgLayerRecompose,
                          PM_REMOVE | PM_QS_POSTMESSAGE)) {
      std::unique_ptr<RECT> more(reinterpret_cast<RECT*>(queued.lParam));
      if (!clip) continue;  // the whole window already
      if (more)
        ::UnionRect(clip.get(), clip.get(), more.get());
      else
        clip.reset();
    }
    ComposeNow(clip.get());
    return 0;
  }
  LRESULT OnLayerMouseMove(UINT msg, WPARAM wparam, LPARAM lparam, BOOL&) {
    tooltip_.Relay(this->m_hWnd, msg, wparam, lparam);
    if (!tracking_) {
      TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE | TME_HOVER, this->m_hWnd, HOVER_DEFAULT};
      tracking_ = ::TrackMouseEvent(&track) != FALSE;
    }
    if (root_) root_->OnWindowMouseMove(static_cast<UINT>(wparam), X(lparam), Y(lparam));
    return 0;
  }
  LRESULT OnLayerMouseLeave(UINT msg, WPARAM wparam, LPARAM lparam, BOOL&) {
    tooltip_.Relay(this->m_hWnd, msg, wparam, lparam);
    tracking_ = false;
    if (root_) root_->OnWindowMouseLeave();
    return 0;
  }
  LRESULT OnLayerMouseRelay(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) {
    tooltip_.Relay(this->m_hWnd, msg, wparam, lparam);
    handled = FALSE;
    return 0;
  }
  LRESULT OnLayerLButtonDown(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) {
    tooltip_.Relay(this->m_hWnd, msg, wparam, lparam);
    ::SetCapture(this->m_hWnd);
    handled = root_ && root_->OnWindowLButtonDown(static_cast<UINT>(wparam), X(lparam), Y(lparam));
    return 0;
  }
  LRESULT OnLayerLButtonUp(UINT msg, WPARAM wparam, LPARAM lparam, BOOL&) {
    tooltip_.Relay(this->m_hWnd, msg, wparam, lparam);
    if (root_) root_->OnWindowLButtonUp(static_cast<UINT>(wparam), X(lparam), Y(lparam));
    ::ReleaseCapture();
    return 0;
  }
  LRESULT OnLayerSetCursor(UINT, WPARAM, LPARAM, BOOL& handled) {
    handled = root_ && root_->OnWindowSetCursor();
    return TRUE;
  }
  LRESULT OnLayerTimer(UINT, WPARAM wparam, LPARAM, BOOL&) {
    if (root_) root_->OnTimer(static_cast<UINT>(wparam));
    return 0;
  }
  // The tree goes last, so the derived window's WM_DESTROY can still use its
  // controls; recompositions still queued would leak their rectangles.
  LRESULT OnLayerNcDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
    timers_.Clear(this->m_hWnd);
    DropQueuedRecompositions();
    if (root_) root_->RemoveAll(FALSE);
    root_.reset();
    tooltip_.Destroy();
    handled = FALSE;
    return 0;
  }

  bool Compose(const RECT* clip) {
    RECT client;
    if (!this->GetClientRect(&client)) return false;
    SetLayerTextSmoothing(text_smoothing_);
    return frame_.Compose(client.right, client.bottom, clip, *this);
  }
  void DropQueuedRecompositions() {
    MSG pending;
    while (::PeekMessageW(&pending, this->m_hWnd, kMsgLayerRecompose, kMsgLayerRecompose,
                          PM_REMOVE | PM_QS_POSTMESSAGE)) {
      delete reinterpret_cast<RECT*>(pending.lParam);
    }
  }

  static int X(LPARAM lparam) { return static_cast<short>(LOWORD(lparam)); }
  static int Y(LPARAM lparam) { return static_cast<short>(HIWORD(lparam)); }

  std::unique_ptr<CLayerControlRootView> root_;
  CLayerFrame frame_;
  CLayerTimerSet timers_;
  CLayerToolTip tooltip_;
  BOOL focus_rect_ = FALSE;
  bool tracking_ = false;
  bool text_smoothing_ = false;
  BYTE constant_alpha_ = 255;
};
