// CLayerCtrl: keeps a native child window (an edit box, say) over its
// rectangle; the frame only shows the control's image under it.
#pragma once

#include "ui/layer/image_draw.h"
#include "ui/layer/layer_control.h"

class CLayerCtrl : public CLayerControlBase {
 public:
  CLayerCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y, int width,
             int height, UINT layout_flags = 0);

  // The window is not owned; it follows the control's position and visibility.
  void SetHostedWindow(HWND hwnd);
  HWND GetHostedWindow() const { return hosted_; }
  void SetImage(const CImage* image, const LayerImageLayout& layout);

  // Shows (SW_SHOW) or hides the native window.
  void ShowHostedWindow(bool show);

  void OnMove(const RECT& rect) override;
  void SetVisible(BOOL visible, BOOL redraw) override;
  void SetEnabled(BOOL enabled, BOOL redraw) override;
  void Draw(HDC dc) override;

 private:
  HWND hosted_ = nullptr;
  const CImage* image_ = nullptr;
  LayerImageLayout layout_;
};
