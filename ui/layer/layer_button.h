// Push buttons of the layer toolkit: CLayerButtonCtrl (state strip or state
// colours), CLayerIconButtonCtrl (an icon per state before the text) and
// CLayerCheckboxCtrl (an 8-frame strip: unchecked then checked states).
//
// A release of the left button after a press on the control posts WM_COMMAND
// with the id, wherever the pointer is by then.
#pragma once

#include "ui/layer/layer_control.h"

class CImage;

enum LayerButtonState { kStateNormal = 0, kStateHover = 1, kStatePressed = 2, kStateDisabled = 3 };

class CLayerButtonCtrl : public CLayerControlBase {
 public:
  CLayerButtonCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y,
                   int width, int height, UINT layout_flags = 0);

  // A strip of four frames: normal, hover, pressed, disabled.
  void SetStateImage(const CImage* image);
  void SetFillColors(COLORREF normal, COLORREF hover, COLORREF pressed, COLORREF disabled);
  void SetStateTextColors(COLORREF normal, COLORREF hover, COLORREF pressed, COLORREF disabled);

  // 3 disabled, else 2 pressed, else 1 hovered, else 0.
  int GetStateIndex() const;

  void Draw(HDC dc) override;
  void OnMouseMove(UINT keys, int x, int y) override;
  void OnMouseHover(UINT keys, int x, int y) override;
  void OnMouseLeave() override;
  void OnLButtonDown(UINT keys, int x, int y, BOOL& handled) override;
  void OnLButtonUp(UINT keys, int x, int y, BOOL& handled) override;

 protected:
  void SetHover(BOOL hover);
  void SetPressed(BOOL pressed);
  // The text colour of the current state.
  COLORREF StateTextColor() const;

  const CImage* state_image_ = nullptr;
  COLORREF fill_[4] = {kNoColor, kNoColor, kNoColor, kNoColor};
  COLORREF state_text_[4] = {0, 0, 0, 0};
  bool has_state_text_ = false;
};

class CLayerIconButtonCtrl : public CLayerButtonCtrl {
 public:
  using CLayerButtonCtrl::CLayerButtonCtrl;

  // Null entries fall back to the normal icon.
  void SetIcons(const CImage* normal, const CImage* hover, const CImage* pressed,
                const CImage* disabled);
  void SetIconOffset(int x, int y) { icon_offset_ = {x, y}; }

  void Draw(HDC dc) override;

 private:
  const CImage* icons_[4] = {nullptr, nullptr, nullptr, nullptr};
  POINT icon_offset_ = {0, 0};
};

class CLayerCheckboxCtrl : public CLayerButtonCtrl {
 public:
  CLayerCheckboxCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y,
                     int width, int height, UINT layout_flags = 0);

  BOOL IsChecked() const { return checked_; }
  void SetChecked(BOOL checked, BOOL redraw);

  void Draw(HDC dc) override;
  void OnLButtonUp(UINT keys, int x, int y, BOOL& handled) override;

 private:
  BOOL checked_ = FALSE;
};
