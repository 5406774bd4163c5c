#include "ui/layer/layer_hosted_ctrl.h"

#include "ui/layer/image.h"

CLayerCtrl::CLayerCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y,
                       int width, int height, UINT layout_flags)
    : CLayerControlBase(parent, owner, id, x, y, width, height, layout_flags) {
  type_ = kLayerTypeHostedWindow;
}

void CLayerCtrl::SetHostedWindow(HWND hwnd) {
  hosted_ = hwnd;
  OnMove(rect_);
}

void CLayerCtrl::SetImage(const CImage* image, const LayerImageLayout& layout) {
  image_ = image;
  layout_ = layout;
  if (image_ && (layout_flags_ & kLayoutSizeToImage)) SetSize(image_->Width(), image_->Height(), TRUE);
}

void CLayerCtrl::ShowHostedWindow(bool show) {
  if (hosted_) ::ShowWindow(hosted_, show ? SW_SHOW : SW_HIDE);
}

void CLayerCtrl::OnMove(const RECT&) {
  if (!hosted_) return;
  const RECT r = GetWindowRect();
  ::MoveWindow(hosted_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void CLayerCtrl::SetVisible(BOOL visible, BOOL redraw) {
  CLayerControlBase::SetVisible(visible, redraw);
  ShowHostedWindow(visible != FALSE);
}

// A disabled hosted window is hidden rather than greyed: the frame under it
// could not show a native disabled look anyway.
void CLayerCtrl::SetEnabled(BOOL enabled, BOOL redraw) {
  CLayerControlBase::SetEnabled(enabled, redraw);
  ShowHostedWindow(enabled != FALSE);
}

void CLayerCtrl::Draw(HDC dc) {
  if (image_) DrawImageInMode(dc, *image_, rect_, layout_);
}
