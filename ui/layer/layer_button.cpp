#include "ui/layer/layer_button.h"

#include "ui/layer/image.h"
#include "ui/layer/layer_paint.h"

CLayerButtonCtrl::CLayerButtonCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id,
                                   int x, int y, int width, int height, UINT layout_flags)
    : CLayerControlBase(parent, owner, id, x, y, width, height, layout_flags) {}

void CLayerButtonCtrl::SetStateImage(const CImage* image) {
  state_image_ = image;
  if (image && image->IsLoaded() && (layout_flags_ & kLayoutSizeToImage))
    SetSize(image->FrameWidth(), image->Height(), FALSE);
}

void CLayerButtonCtrl::SetFillColors(COLORREF normal, COLORREF hover, COLORREF pressed,
                                     COLORREF disabled) {
  fill_[0] = normal, fill_[1] = hover, fill_[2] = pressed, fill_[3] = disabled;
}

void CLayerButtonCtrl::SetStateTextColors(COLORREF normal, COLORREF hover, COLORREF pressed,
                                          COLORREF disabled) {
  state_text_[0] = normal, state_text_[1] = hover, state_text_[2] = pressed,
  state_text_[3] = disabled;
  has_state_text_ = true;
}

int CLayerButtonCtrl::GetStateIndex() const {
  if (!enabled_) return kStateDisabled;
  if (pressed_) return kStatePressed;
  if (hover_) return kStateHover;
  return kStateNormal;
}

COLORREF CLayerButtonCtrl::StateTextColor() const {
  return has_state_text_ ? state_text_[GetStateIndex()] : text_color_;
}

void CLayerButtonCtrl::Draw(HDC dc) {
  const int state = GetStateIndex();
  if (state_image_)
    state_image_->DrawFrame(dc, state, rect_);
  else
    FillLayerRect(dc, rect_, fill_[state]);
  DrawTextWithShadow(dc, TextRect(), StateTextColor());
}

void CLayerButtonCtrl::SetHover(BOOL hover) {
  if (hover_ == hover) return;
  hover_ = hover;
  Invalidate(nullptr);
}

void CLayerButtonCtrl::SetPressed(BOOL pressed) {
  if (pressed_ == pressed) return;
  pressed_ = pressed;
  Invalidate(nullptr);
}

void CLayerButtonCtrl::OnMouseMove(UINT, int, int) { SetHover(TRUE); }
void CLayerButtonCtrl::OnMouseHover(UINT, int, int) { SetHover(TRUE); }
void CLayerButtonCtrl::OnMouseLeave() { SetHover(FALSE); }
void CLayerButtonCtrl::OnLButtonDown(UINT, int, int, BOOL&) { SetPressed(TRUE); }

// No check that the pointer is still over the button: the release after a
// press is the command, as users of these setups expect.
void CLayerButtonCtrl::OnLButtonUp(UINT, int, int, BOOL&) {
  SetPressed(FALSE);
  PostCommand();
}

void CLayerIconButtonCtrl::SetIcons(const CImage* normal, const CImage* hover,
                                    const CImage* pressed, const CImage* disabled) {
  icons_[0] = normal, icons_[1] = hover, icons_[2] = pressed, icons_[3] = disabled;
}

void CLayerIconButtonCtrl::Draw(HDC dc) {
  const int state = GetStateIndex();
  if (state_image_)
    state_image_->DrawFrame(dc, state, rect_);
  else
    FillLayerRect(dc, rect_, fill_[state]);
  const CImage* icon = icons_[state] ? icons_[state] : icons_[0];
  RECT text = TextRect();
  if (icon && icon->IsLoaded()) {
    const int x = rect_.left + icon_offset_.x;
    const int y = rect_.top + (rect_.bottom - rect_.top - icon->Height()) / 2 + icon_offset_.y;
    icon->DrawPart(dc, RECT{0, 0, icon->Width(), icon->Height()},
                   RECT{x, y, x + icon->Width(), y + icon->Height()});
    text.left = x + icon->Width() + 3;
  }
  DrawTextWithShadow(dc, text, StateTextColor());
}

CLayerCheckboxCtrl::CLayerCheckboxCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id,
                                       int x, int y, int width, int height, UINT layout_flags)
    : CLayerButtonCtrl(parent, owner, id, x, y, width, height, layout_flags) {
  type_ = kLayerTypeCheckbox;
  text_format_ = 0x1001;  // vertically centred, one line
}

void CLayerCheckboxCtrl::SetChecked(BOOL checked, BOOL redraw) {
  checked = checked ? TRUE : FALSE;
  if (checked_ == checked) return;
  checked_ = checked;
  if (redraw) Invalidate(nullptr);
}

void CLayerCheckboxCtrl::Draw(HDC dc) {
  int box_width = 0;
  if (state_image_ && state_image_->IsLoaded()) {
    box_width = state_image_->FrameWidth();
    const int height = state_image_->Height();
    const int top = rect_.top + (rect_.bottom - rect_.top - height) / 2;
    const int frame = GetStateIndex() + (checked_ ? 4 : 0);
    state_image_->DrawFrame(dc, frame,
                            RECT{rect_.left, top, rect_.left + box_width, top + height});
  }
  RECT text = TextRect();
  text.left = rect_.left + box_width + 5;
  DrawTextWithShadow(dc, text, StateTextColor());
}

void CLayerCheckboxCtrl::OnLButtonUp(UINT, int, int, BOOL&) {
  SetPressed(FALSE);
  SetChecked(!checked_, TRUE);
  PostCommand();
}
