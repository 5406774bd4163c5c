// Test doubles for the layer toolkit: a window that records what controls ask
// of it, and a canvas that composes a root view into a frame to read pixels.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "ui/layer/gdiplus_api.h"
#include "ui/layer/layer_control_group.h"
#include "ui/layer/layer_frame.h"
#include "ui/layer/layer_paint.h"
#include "ui/layer/layer_window.h"

struct PostedMessage {
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
};

class CFakeLayerWindow : public ILayerWindow {
 public:
  BOOL GetFocusRectFlag() override { return focus; }
  void SetFocusRectFlag(BOOL show) override { focus = show; }
  HWND GetHwnd() override { return nullptr; }
  void ShowToolTip(BOOL show, const wchar_t* text) override {
    tooltip = (show && text) ? text : L"";
  }
  BOOL SetTimer(UINT id, UINT interval) override {
    timers[id] = interval;
    return TRUE;
  }
  BOOL KillTimer(UINT id) override { return timers.erase(id) ? TRUE : FALSE; }
  BOOL PostMessage(UINT msg, WPARAM wparam, LPARAM lparam) override {
    posted.push_back({msg, wparam, lparam});
    return TRUE;
  }
  LRESULT SendMessage(UINT, WPARAM, LPARAM) override { return 0; }
  void InvalidateRect(const RECT*) override { ++invalidations; }

  // How many WM_COMMAND messages carried `id`.
  int CommandsFor(UINT id) const {
    int n = 0;
    for (const PostedMessage& m : posted) n += (m.msg == WM_COMMAND && m.wparam == id);
    return n;
  }

  BOOL focus = FALSE;
  std::wstring tooltip;
  std::map<UINT, UINT> timers;
  std::vector<PostedMessage> posted;
  int invalidations = 0;
};

// Composes `root` over a background colour (kNoColor: transparent) and reads
// the premultiplied pixels back.
class CTestCanvas : public ILayerFrameHooks {
 public:
  CTestCanvas(CLayerControlGroup* root, COLORREF background) : root_(root), bk_(background) {}

  bool Compose(int width, int height, const RECT* clip = nullptr) {
    return frame_.Compose(width, height, clip, *this);
  }
  // 0xAARRGGBB as stored in the frame.
  DWORD Pixel(int x, int y) const { return frame_.Pixels()[y * frame_.Width() + x]; }
  CLayerFrame& Frame() { return frame_; }

  void DrawFrameBackground(HDC dc, const RECT& client) override {
    FillLayerRect(dc, client, bk_);
  }
  void DrawBeforeControls(HDC) override { ++before; }
  void DrawControls(HDC dc) override {
    ++controls;
    if (root_) root_->Draw(dc);
  }
  void DrawAfterControls(HDC) override { ++after; }

  int before = 0, controls = 0, after = 0;

 private:
  CLayerControlGroup* root_;
  COLORREF bk_;
  CLayerFrame frame_;
};

// Colour channels of a frame pixel.
inline int PixelA(DWORD p) { return (p >> 24) & 0xFF; }
inline int PixelR(DWORD p) { return (p >> 16) & 0xFF; }
inline int PixelG(DWORD p) { return (p >> 8) & 0xFF; }
inline int PixelB(DWORD p) { return p & 0xFF; }
