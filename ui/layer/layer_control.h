// ILayerControl and CLayerControlBase: a lightweight control drawn into the
// frame of a layered window. A control's rectangle is relative to its parent
// group; "window coordinates" are relative to the window's client area.
//
// Mouse handlers get the point in the coordinates of the control's parent (the
// space its rectangle lives in). Ownership: a group releases its children only
// through RemoveAll or RemoveChild with release; fonts, images and cursors are
// shared and never owned by a control.
#pragma once

#include <windows.h>

#include <string>

#include "ui/layer/gdiplus_api.h"
#include "ui/layer/layer_window.h"

class CLayerControlGroup;

// Type codes returned by GetType.
constexpr int kLayerTypeControl = 0;
constexpr int kLayerTypeGroup = 11;
constexpr int kLayerTypeAnimation = 12;
constexpr int kLayerTypeHostedWindow = 14;
constexpr int kLayerTypeCheckbox = 18;

// Layout flag: SetImage resizes the control to the image's size.
constexpr UINT kLayoutSizeToImage = 0x1;

class ILayerControl {
 public:
  virtual void Release() = 0;
  virtual UINT GetID() = 0;
  virtual void SetID(UINT id) = 0;
  virtual int GetPage() = 0;
  virtual void SetPage(int page, BOOL redraw) = 0;
  virtual UINT GetTimerId() = 0;
  virtual int GetType() = 0;
  virtual BOOL IsVisible() = 0;
  virtual void SetVisible(BOOL visible, BOOL redraw) = 0;
  virtual BOOL IsEnabled() = 0;
  virtual void SetEnabled(BOOL enabled, BOOL redraw) = 0;
  virtual RECT GetWindowRect() = 0;
  virtual RECT GetRect() = 0;
  virtual POINT GetPos() = 0;
  virtual void SetRect(const RECT& rect, BOOL redraw) = 0;
  virtual void SetPos(int x, int y, int width, int height, BOOL redraw) = 0;
  virtual BOOL HasToolTip() = 0;
  virtual void SetHasToolTip(BOOL has) = 0;
  virtual const std::wstring& GetToolTip() = 0;
  virtual void SetToolTip(const wchar_t* text) = 0;
  virtual const std::wstring& GetText() = 0;
  virtual void SetText(const wchar_t* text, BOOL redraw) = 0;
  virtual COLORREF GetTextColor() = 0;
  virtual void SetTextColor(COLORREF color, BOOL redraw) = 0;
  virtual HCURSOR GetCursorHandle() = 0;
  virtual void SetCursorHandle(HCURSOR cursor) = 0;
  virtual CLayerControlGroup* GetParent() = 0;
  virtual void SetParent(CLayerControlGroup* parent) = 0;
  virtual BOOL HitTest(int x, int y) = 0;
  virtual void Invalidate(const RECT* window_rect) = 0;
  virtual void MoveTo(int x, int y, BOOL redraw) = 0;
  virtual void Offset(int dx, int dy, BOOL redraw) = 0;
  virtual void SetSize(int width, int height, BOOL redraw) = 0;
  virtual BOOL GetPassThrough() = 0;
  virtual void SetPassThrough(BOOL pass) = 0;
  virtual BOOL GetTakesMouse() = 0;
  virtual void SetTakesMouse(BOOL takes) = 0;
  virtual RECT ParentToWindow(const RECT& rect) = 0;
  virtual RECT WindowToParent(const RECT& rect) = 0;
  virtual POINT ParentToWindow(POINT pt) = 0;
  virtual POINT WindowToParent(POINT pt) = 0;
  virtual void OnCreate(CLayerControlGroup* parent) = 0;
  virtual void OnRemove() = 0;
  virtual void OnMove(const RECT& rect) = 0;
  virtual void OnTimer(UINT id) = 0;
  virtual void Draw(HDC dc) = 0;
  virtual void OnSetCursor() = 0;
  virtual void OnMouseMove(UINT keys, int x, int y) = 0;
  virtual void OnMouseHover(UINT keys, int x, int y) = 0;
  virtual void OnMouseLeave() = 0;
  virtual void OnLButtonDown(UINT keys, int x, int y, BOOL& handled) = 0;
  virtual void OnLButtonUp(UINT keys, int x, int y, BOOL& handled) = 0;
  virtual void OnLButtonDblClk(UINT keys, int x, int y, BOOL& handled) = 0;
  virtual void OnRButtonDown(UINT keys, int x, int y, BOOL& handled) = 0;
  virtual void OnRButtonUp(UINT keys, int x, int y, BOOL& handled) = 0;
  virtual ~ILayerControl() = default;
};

class CLayerControlBase : public ILayerControl {
 public:
  // `parent` is remembered as the creation parent; AddChild sets the parent
  // group proper. `owner` must outlive the control.
  CLayerControlBase(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x, int y,
                    int width, int height, UINT layout_flags = 0);
  CLayerControlBase(const CLayerControlBase&) = delete;
  CLayerControlBase& operator=(const CLayerControlBase&) = delete;

  void Release() override { delete this; }
  UINT GetID() override { return id_; }
  void SetID(UINT id) override { id_ = id; }
  int GetPage() override { return page_; }
  void SetPage(int page, BOOL redraw) override;
  UINT GetTimerId() override { return timer_id_; }
  int GetType() override { return type_; }
  BOOL IsVisible() override { return visible_; }
  void SetVisible(BOOL visible, BOOL redraw) override;
  BOOL IsEnabled() override { return enabled_; }
  void SetEnabled(BOOL enabled, BOOL redraw) override;
  RECT GetWindowRect() override { return ParentToWindow(rect_); }
  RECT GetRect() override { return rect_; }
  POINT GetPos() override { return {rect_.left, rect_.top}; }
  void SetRect(const RECT& rect, BOOL redraw) override;
  void SetPos(int x, int y, int width, int height, BOOL redraw) override;
  BOOL HasToolTip() override { return has_tooltip_; }
  void SetHasToolTip(BOOL has) override { has_tooltip_ = has; }
  const std::wstring& GetToolTip() override { return tooltip_; }
  void SetToolTip(const wchar_t* text) override;
  const std::wstring& GetText() override { return text_; }
  void SetText(const wchar_t* text, BOOL redraw) override;
  COLORREF GetTextColor() override { return text_color_; }
  void SetTextColor(COLORREF color, BOOL redraw) override;
  HCURSOR GetCursorHandle() override { return cursor_; }
  void SetCursorHandle(HCURSOR cursor) override { cursor_ = cursor; }
  CLayerControlGroup* GetParent() override { return parent_; }
  void SetParent(CLayerControlGroup* parent) override { parent_ = parent; }
  BOOL HitTest(int x, int y) override;
  void Invalidate(const RECT* window_rect) override;
  void MoveTo(int x, int y, BOOL redraw) override;
  void Offset(int dx, int dy, BOOL redraw) override;
  void SetSize(int width, int height, BOOL redraw) override;
  BOOL GetPassThrough() override { return pass_through_; }
  void SetPassThrough(BOOL pass) override;
  BOOL GetTakesMouse() override { return takes_mouse_; }
  void SetTakesMouse(BOOL takes) override;
  RECT ParentToWindow(const RECT& rect) override;
  RECT WindowToParent(const RECT& rect) override;
  POINT ParentToWindow(POINT pt) override;
  POINT WindowToParent(POINT pt) override;
  void OnCreate(CLayerControlGroup* parent) override {}
  void OnRemove() override {}
  void OnMove(const RECT& rect) override {}
  void OnTimer(UINT id) override {}
  void Draw(HDC dc) override {}
  void OnSetCursor() override {}
  void OnMouseMove(UINT keys, int x, int y) override {}
  void OnMouseHover(UINT keys, int x, int y) override {}
  void OnMouseLeave() override {}
  void OnLButtonDown(UINT keys, int x, int y, BOOL& handled) override {}
  void OnLButtonUp(UINT keys, int x, int y, BOOL& handled) override {}
  void OnLButtonDblClk(UINT keys, int x, int y, BOOL& handled) override {
    OnLButtonDown(keys, x, y, handled);
  }
  void OnRButtonDown(UINT keys, int x, int y, BOOL& handled) override {}
  void OnRButtonUp(UINT keys, int x, int y, BOOL& handled) override {}

  // Text appearance shared by every control that draws text.
  gdip::GpFont* GetFont() const { return font_; }
  void SetFont(gdip::GpFont* font) { font_ = font; }
  COLORREF GetShadowColor() const { return shadow_color_; }
  void SetShadowColor(COLORREF color) { shadow_color_ = color; }
  UINT GetTextFormat() const { return text_format_; }
  void SetTextFormat(UINT flags) { text_format_ = flags; }
  void SetTextInsets(int left, int top, int right, int bottom) {
    insets_ = {left, top, right, bottom};
  }
  ILayerWindow* GetOwner() const { return owner_; }
  UINT GetLayoutFlags() const { return layout_flags_; }

 protected:
  ~CLayerControlBase() override = default;

  // Window timer for this control, recorded as its running timer id.
  BOOL StartTimer(UINT interval);
  void StopTimer();
  // Posts WM_COMMAND with the control id to the owner window.
  void PostCommand();
  // The control's rectangle (parent coordinates) minus the text insets.
  RECT TextRect() const;
  // Draws the control's text in `rect`: shadow one pixel lower when set, then
  // the text in `color`.
  void DrawTextWithShadow(HDC dc, const RECT& rect, COLORREF color);

  int type_ = kLayerTypeControl;
  UINT id_;
  int page_ = -1;
  std::wstring tooltip_;
  BOOL has_tooltip_ = FALSE;
  std::wstring text_;
  CLayerControlGroup* creation_parent_;
  RECT rect_;
  UINT layout_flags_;
  BOOL visible_ = TRUE;
  BOOL hover_ = FALSE;
  BOOL pressed_ = FALSE;
  BOOL enabled_ = TRUE;
  gdip::GpFont* font_ = nullptr;
  COLORREF text_color_ = 0;
  COLORREF shadow_color_ = kNoColor;
  UINT text_format_ = 0;
  RECT insets_ = {0, 0, 0, 0};
  CLayerControlGroup* parent_ = nullptr;
  ILayerWindow* owner_;
  UINT timer_id_ = static_cast<UINT>(-1);
  BOOL pass_through_ = FALSE;
  BOOL takes_mouse_ = TRUE;
  HCURSOR cursor_ = nullptr;
};
