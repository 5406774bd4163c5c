#include "ui/layer/layer_control_group.h"

CLayerControlRootView::CLayerControlRootView(ILayerWindow* owner, int width, int height)
    : CLayerControlGroup(nullptr, owner, 0, 0, 0, width, height) {}

void CLayerControlRootView::RefreshToolTip(ILayerControl* control) {
  if (!owner_) return;
  if (control && control->HasToolTip())
    owner_->ShowToolTip(TRUE, control->GetToolTip().c_str());
  else
    owner_->ShowToolTip(FALSE, nullptr);
}

void CLayerControlRootView::OnWindowMouseMove(UINT keys, int x, int y) {
  ILayerControl* hit = ChildFromPoint(x, y);
  if (hit != hover_) {
    if (hover_) {
      hover_->OnMouseLeave();
      if (owner_) owner_->ShowToolTip(FALSE, nullptr);
    }
    hover_ = hit;
    if (hit) {
      const POINT pt = hit->WindowToParent(POINT{x, y});
      hit->OnMouseHover(keys, pt.x, pt.y);
      RefreshToolTip(hit);
    }
    return;
  }
  if (hit) {
    const POINT pt = hit->WindowToParent(POINT{x, y});
    hit->OnMouseMove(keys, pt.x, pt.y);
    RefreshToolTip(hit);
  }
}

BOOL CLayerControlRootView::OnWindowLButtonDown(UINT keys, int x, int y) {
  ILayerControl* hit = ChildFromPoint(x, y);
  if (!hit || !hit->IsEnabled()) return FALSE;
  capture_ = hit;
  const POINT pt = hit->WindowToParent(POINT{x, y});
  BOOL handled = TRUE;
  hit->OnLButtonDown(keys, pt.x, pt.y, handled);
  // The handler may have removed the control (and so cleared the reference).
  return capture_ && !capture_->GetPassThrough();
}

void CLayerControlRootView::OnWindowLButtonUp(UINT keys, int x, int y) {
  ILayerControl* target = capture_;
  capture_ = nullptr;
  if (!target) return;
  const POINT pt = target->WindowToParent(POINT{x, y});
  BOOL handled = TRUE;
  target->OnLButtonUp(keys, pt.x, pt.y, handled);
}

void CLayerControlRootView::OnWindowMouseLeave() {
  ILayerControl* hover = hover_;
  ILayerControl* capture = capture_;
  hover_ = nullptr;
  capture_ = nullptr;
  if (hover) hover->OnMouseLeave();
  if (capture && capture != hover) capture->OnMouseLeave();
  if (owner_) owner_->ShowToolTip(FALSE, nullptr);
}

BOOL CLayerControlRootView::OnWindowSetCursor() {
  if (!hover_ || !hover_->GetCursorHandle()) return FALSE;
  hover_->OnSetCursor();
  ::SetCursor(hover_->GetCursorHandle());
  return TRUE;
}
