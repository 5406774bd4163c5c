#include "ui/layer/layer_control_group.h"

#include <algorithm>

#include "ui/layer/image.h"
#include "ui/layer/layer_hosted_ctrl.h"
#include "ui/layer/layer_paint.h"

CLayerControlGroup::CLayerControlGroup(CLayerControlGroup* parent, ILayerWindow* owner, UINT id,
                                       int x, int y, int width, int height, UINT layout_flags)
    : CLayerControlBase(parent, owner, id, x, y, width, height, layout_flags) {
  type_ = kLayerTypeGroup;
}

void CLayerControlGroup::AddChild(ILayerControl* child) {
  if (!child) return;
  child->SetParent(this);
  children_.push_back(child);
  by_id_.emplace(child->GetID(), child);  // an id already present stays mapped to its first holder
}

// True when `control` is `ancestor` or lies inside it.
static bool IsWithin(ILayerControl* control, ILayerControl* ancestor) {
  for (ILayerControl* c = control; c; c = c->GetParent()) {
    if (c == ancestor) return true;
  }
  return false;
}

bool CLayerControlGroup::RemoveChild(ILayerControl* child, BOOL release, BOOL redraw) {
  auto it = std::find(children_.begin(), children_.end(), child);
  if (it == children_.end()) return false;
  // The root's references must not outlive the control (nor anything in it).
  CLayerControlGroup* root = GetRoot();
  if (IsWithin(root->GetHoverControl(), child)) root->SetHoverControl(nullptr);
  if (IsWithin(root->GetCaptureControl(), child)) root->SetCaptureControl(nullptr);
  const RECT area = child->GetWindowRect();
  children_.erase(it);
  auto mapped = by_id_.find(child->GetID());
  if (mapped != by_id_.end() && mapped->second == child) by_id_.erase(mapped);
  if (release) {
    child->OnRemove();
    child->Release();
  }
  if (redraw) Invalidate(&area);
  return true;
}

bool CLayerControlGroup::RemoveChildById(UINT id, BOOL release, BOOL redraw) {
  ILayerControl* child = GetChildById(id);
  return child && RemoveChild(child, release, redraw);
}

void CLayerControlGroup::RemoveAll(BOOL redraw) {
  CLayerControlGroup* root = GetRoot();
  root->SetHoverControl(nullptr);
  root->SetCaptureControl(nullptr);
  std::vector<ILayerControl*> children;
  children.swap(children_);
  by_id_.clear();
  for (ILayerControl* child : children) {
    child->OnRemove();
    child->Release();
  }
  if (redraw) Redraw();
}

ILayerControl* CLayerControlGroup::GetChildById(UINT id) const {
  auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : it->second;
}

bool CLayerControlGroup::PassesPageFilter(ILayerControl* child) const {
  const int child_page = child->GetPage();
  return page_ == -1 || child_page == -1 || page_ == child_page;
}

ILayerControl* CLayerControlGroup::ChildFromPoint(int x, int y) {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    ILayerControl* child = *it;
    if (!PassesPageFilter(child) || !child->IsVisible() || !child->HitTest(x, y)) continue;
    // A group covers whatever lies below it, even where it has no child.
    if (child->GetType() == kLayerTypeGroup)
      return static_cast<CLayerControlGroup*>(child)->ChildFromPoint(x, y);
    return child;
  }
  return nullptr;
}

void CLayerControlGroup::DrawBackground(HDC dc) {
  FillLayerRect(dc, rect_, bk_color_);
  if (bk_image_) bk_image_->DrawFrame(dc, 0, rect_);
}

CLayerControlGroup* CLayerControlGroup::GetRoot() {
  CLayerControlGroup* group = this;
  while (group->GetParent()) group = group->GetParent();
  return group;
}

void CLayerControlGroup::SetPage(int page, BOOL redraw) {
  page_ = page;
  SyncHostedWindows();
  if (redraw) Redraw();
}

bool CLayerControlGroup::ChainVisible() {
  for (ILayerControl* c = this; c; c = c->GetParent()) {
    if (!c->IsVisible()) return false;
  }
  return true;
}

void CLayerControlGroup::SyncHostedWindows() {
  const bool chain_visible = ChainVisible();
  for (ILayerControl* child : children_) {
    if (child->GetType() == kLayerTypeGroup) {
      static_cast<CLayerControlGroup*>(child)->SyncHostedWindows();
    } else if (child->GetType() == kLayerTypeHostedWindow) {
      static_cast<CLayerCtrl*>(child)->ShowHostedWindow(chain_visible && PassesPageFilter(child) &&
                                                        child->IsVisible());
    }
  }
}

void CLayerControlGroup::OnTimer(UINT id) {
  // A copy: a tick may add or remove controls.
  const std::vector<ILayerControl*> children = children_;
  for (ILayerControl* child : children) child->OnTimer(id);
}

void CLayerControlGroup::Draw(HDC dc) {
  if (!visible_) return;
  DrawBackground(dc);
  POINT old_origin;
  OffsetViewportOrgEx(dc, rect_.left, rect_.top, &old_origin);
  const bool focus = owner_ && owner_->GetFocusRectFlag();
  for (ILayerControl* child : children_) {
    if (!PassesPageFilter(child) || !child->IsVisible()) continue;
    const RECT r = child->GetRect();
    if (!RectVisible(dc, &r)) continue;
    const int saved = SaveDC(dc);
    child->Draw(dc);
    RestoreDC(dc, saved);
    if (focus) DrawLayerFocusFrame(dc, r);
  }
  SetViewportOrgEx(dc, old_origin.x, old_origin.y, nullptr);
}
