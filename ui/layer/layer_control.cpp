#include "ui/layer/layer_control.h"

#include "ui/layer/layer_control_group.h"
#include "ui/layer/layer_paint.h"

CLayerControlBase::CLayerControlBase(CLayerControlGroup* parent, ILayerWindow* owner, UINT id,
                                     int x, int y, int width, int height, UINT layout_flags)
    : id_(id),
      creation_parent_(parent),
      rect_{x, y, x + width, y + height},
      layout_flags_(layout_flags),
      owner_(owner) {}

void CLayerControlBase::SetPage(int page, BOOL redraw) {
  page_ = page;
  if (redraw) Invalidate(nullptr);
}

void CLayerControlBase::SetVisible(BOOL visible, BOOL redraw) {
  visible = visible ? TRUE : FALSE;
  if (visible == visible_) return;
  visible_ = visible;
  if (redraw) Invalidate(nullptr);
}

void CLayerControlBase::SetEnabled(BOOL enabled, BOOL redraw) {
  enabled = enabled ? TRUE : FALSE;
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (redraw) Invalidate(nullptr);
}

void CLayerControlBase::SetRect(const RECT& rect, BOOL redraw) {
  if (EqualRect(&rect, &rect_)) return;
  const RECT old_window = GetWindowRect();
  rect_ = rect;
  OnMove(rect_);
  if (redraw) {
    const RECT new_window = GetWindowRect();
    RECT both;
    UnionRect(&both, &old_window, &new_window);
    Invalidate(&both);
  }
}

void CLayerControlBase::SetPos(int x, int y, int width, int height, BOOL redraw) {
  const RECT rect = {x, y, x + width, y + height};
  SetRect(rect, redraw);
}

void CLayerControlBase::SetToolTip(const wchar_t* text) { tooltip_ = text ? text : L""; }

void CLayerControlBase::SetText(const wchar_t* text, BOOL redraw) {
  text_ = text ? text : L"";
  if (redraw) Invalidate(nullptr);
}

void CLayerControlBase::SetTextColor(COLORREF color, BOOL redraw) {
  text_color_ = color;
  if (redraw) Invalidate(nullptr);
}

BOOL CLayerControlBase::HitTest(int x, int y) {
  const RECT window_rect = GetWindowRect();
  return PtInRect(&window_rect, POINT{x, y});
}

void CLayerControlBase::Invalidate(const RECT* window_rect) {
  if (!owner_) return;
  const RECT whole = GetWindowRect();
  owner_->InvalidateRect(window_rect ? window_rect : &whole);
}

void CLayerControlBase::MoveTo(int x, int y, BOOL redraw) {
  SetPos(x, y, rect_.right - rect_.left, rect_.bottom - rect_.top, redraw);
}

void CLayerControlBase::Offset(int dx, int dy, BOOL redraw) {
  MoveTo(rect_.left + dx, rect_.top + dy, redraw);
}

void CLayerControlBase::SetSize(int width, int height, BOOL redraw) {
  if (width == -1) width = rect_.right - rect_.left;
  if (height == -1) height = rect_.bottom - rect_.top;
  SetPos(rect_.left, rect_.top, width, height, redraw);
}

void CLayerControlBase::SetPassThrough(BOOL pass) {
  pass_through_ = pass ? TRUE : FALSE;
  takes_mouse_ = !pass_through_;
}

void CLayerControlBase::SetTakesMouse(BOOL takes) { SetPassThrough(!takes); }

// The parent's window rectangle already includes every enclosing group's
// offset, so one step up the chain is enough.
RECT CLayerControlBase::ParentToWindow(const RECT& rect) {
  RECT r = rect;
  if (parent_) {
    const RECT origin = parent_->GetWindowRect();
    OffsetRect(&r, origin.left, origin.top);
  }
  return r;
}

RECT CLayerControlBase::WindowToParent(const RECT& rect) {
  RECT r = rect;
  if (parent_) {
    const RECT origin = parent_->GetWindowRect();
    OffsetRect(&r, -origin.left, -origin.top);
  }
  return r;
}

POINT CLayerControlBase::ParentToWindow(POINT pt) {
  const RECT r = ParentToWindow(RECT{pt.x, pt.y, pt.x, pt.y});
  return {r.left, r.top};
}

POINT CLayerControlBase::WindowToParent(POINT pt) {
  const RECT r = WindowToParent(RECT{pt.x, pt.y, pt.x, pt.y});
  return {r.left, r.top};
}

BOOL CLayerControlBase::StartTimer(UINT interval) {
  if (!owner_ || !owner_->SetTimer(id_, interval)) return FALSE;
  timer_id_ = id_;
  return TRUE;
}

void CLayerControlBase::StopTimer() {
  if (timer_id_ == static_cast<UINT>(-1)) return;
  if (owner_) owner_->KillTimer(timer_id_);
  timer_id_ = static_cast<UINT>(-1);
}

void CLayerControlBase::PostCommand() {
  if (owner_) owner_->PostMessage(WM_COMMAND, id_, 0);
}

RECT CLayerControlBase::TextRect() const {
  return {rect_.left + insets_.left, rect_.top + insets_.top, rect_.right - insets_.right,
          rect_.bottom - insets_.bottom};
}

void CLayerControlBase::DrawTextWithShadow(HDC dc, const RECT& rect, COLORREF color) {
  if (text_.empty() || !font_) return;
  if (shadow_color_ != kNoColor) {
    RECT shadow = rect;
    OffsetRect(&shadow, 0, 1);
    DrawLayerText(dc, text_, font_, shadow, shadow_color_, text_format_);
  }
  DrawLayerText(dc, text_, font_, rect, color, text_format_);
}
