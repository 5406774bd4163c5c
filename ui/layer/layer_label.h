// CLayerLabelCtrl (text) and CLayerImageCtrl (an image in one of the draw
// modes, with text over it). Both let left presses through to the window (so
// the window can be dragged by them) unless told to take the mouse; then a
// release posts WM_COMMAND with the id.
#pragma once

#include "ui/layer/image_draw.h"
#include "ui/layer/layer_control.h"

class CLayerLabelCtrl : public CLayerControlBase {
 public:
  CLayerLabelCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y,
                  int width, int height, UINT layout_flags = 0);

  void SetOutlineColor(COLORREF color) { outline_color_ = color; }
  COLORREF GetOutlineColor() const { return outline_color_; }

  // The size the text needs with the control's font and flags, each dimension
  // truncated plus 1. Without a bound that dimension is unlimited; otherwise
  // the control's size bounds it. (0, 0) without text, font or window.
  SIZE MeasureText(BOOL no_width_bound, BOOL no_height_bound);

  void Draw(HDC dc) override;
  void OnLButtonUp(UINT keys, int x, int y, BOOL& handled) override;

 protected:
  // The text in the insets: outlined when an outline colour is set.
  void DrawLabelText(HDC dc);

 private:
  COLORREF outline_color_ = kNoColor;
};

class CLayerImageCtrl : public CLayerLabelCtrl {
 public:
  CLayerImageCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y,
                  int width, int height, UINT layout_flags = 0);

  // Resizes the control to the image when created with kLayoutSizeToImage.
  void SetImage(const CImage* image, BOOL redraw);
  // Shown instead of the default image while set (null: the default again).
  void SetOverrideImage(const CImage* image, BOOL redraw);
  void SetLayout(const LayerImageLayout& layout) { layout_ = layout; }
  LayerImageLayout& Layout() { return layout_; }

  void Draw(HDC dc) override;

 private:
  const CImage* image_ = nullptr;
  const CImage* override_ = nullptr;
  LayerImageLayout layout_;
};
