// CLayerControlGroup: a control holding child controls in z-order (last on
// top), and CLayerControlRootView, the group that fills a window and routes
// the window's mouse input to its controls.
//
// Page filter: a child is drawn and hit only when the group's page index or
// the child's is -1, or both are equal.
#pragma once

#include <map>
#include <vector>

#include "ui/layer/layer_control.h"

class CImage;

class CLayerControlGroup : public CLayerControlBase {
 public:
  CLayerControlGroup(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y,
                     int width, int height, UINT layout_flags = 0);
  // Frees the child list and the id map, not the children.
  ~CLayerControlGroup() override = default;

  // Sets the child's parent, appends it on top and enters it in the id map
  // unless another child already holds its id.
  void AddChild(ILayerControl* child);
  // Returns false when `child` is not a direct child.
  bool RemoveChild(ILayerControl* child, BOOL release, BOOL redraw);
  bool RemoveChildById(UINT id, BOOL release, BOOL redraw);
  // Calls OnRemove and Release on every child.
  void RemoveAll(BOOL redraw);
  ILayerControl* GetChildById(UINT id) const;
  size_t GetChildCount() const { return children_.size(); }
  ILayerControl* GetChildAt(size_t index) const { return children_[index]; }

  // The topmost control under the window point, searching nested groups
  // recursively; a nested group's answer (possibly none) is final.
  ILayerControl* ChildFromPoint(int x, int y);

  // Hover and capture references; only the root view keeps them.
  virtual ILayerControl* GetHoverControl() { return nullptr; }
  virtual void SetHoverControl(ILayerControl*) {}
  virtual ILayerControl* GetCaptureControl() { return nullptr; }
  virtual void SetCaptureControl(ILayerControl*) {}

  void Redraw() { Invalidate(nullptr); }
  virtual void DrawBackground(HDC dc);
  CLayerControlGroup* GetRoot();

  void SetBkColor(COLORREF color) { bk_color_ = color; }
  COLORREF GetBkColor() const { return bk_color_; }
  void SetBkImage(const CImage* image) { bk_image_ = image; }

  bool PassesPageFilter(ILayerControl* child) const;

  void SetPage(int page, BOOL redraw) override;
  void OnTimer(UINT id) override;
  void Draw(HDC dc) override;

 protected:
  // Shows each hosted native window below this group only where its control
  // would be drawn.
  void SyncHostedWindows();
  // Whether this group and every group above it are visible.
  bool ChainVisible();

  std::vector<ILayerControl*> children_;
  std::map<UINT, ILayerControl*> by_id_;
  COLORREF bk_color_ = kNoColor;
  const CImage* bk_image_ = nullptr;
};

class CLayerControlRootView : public CLayerControlGroup {
 public:
  CLayerControlRootView(ILayerWindow* owner, int width, int height);

  ILayerControl* GetHoverControl() override { return hover_; }
  void SetHoverControl(ILayerControl* control) override { hover_ = control; }
  ILayerControl* GetCaptureControl() override { return capture_; }
  void SetCaptureControl(ILayerControl* control) override { capture_ = control; }

  // Mouse input of the window, in client coordinates.
  void OnWindowMouseMove(UINT keys, int x, int y);
  // Returns TRUE when a control took the press and does not pass it through;
  // FALSE leaves it to the window's default processing.
  BOOL OnWindowLButtonDown(UINT keys, int x, int y);
  void OnWindowLButtonUp(UINT keys, int x, int y);
  void OnWindowMouseLeave();
  // TRUE when the hover control has a cursor and it was set.
  BOOL OnWindowSetCursor();

 private:
  void RefreshToolTip(ILayerControl* control);

  ILayerControl* hover_ = nullptr;
  ILayerControl* capture_ = nullptr;
};
