// CLayerProgress: a bar growing from one edge, with a 1 % sliver whenever the
// range is not 0; CLayerProgressSpecial adds a sweep running ahead of the bar.
#pragma once

#include <string>

#include "ui/layer/layer_control.h"

class CImage;

enum LayerProgressDirection {
  kGrowFromLeft = 0,
  kGrowFromRight = 1,
  kGrowFromTop = 2,
  kGrowFromBottom = 3,
};

class CLayerProgress : public CLayerControlBase {
 public:
  using CLayerControlBase::CLayerControlBase;

  void SetDirection(int direction) { direction_ = direction; }
  // Three-part image along the direction (caps unscaled), else the colour.
  void SetBkImage(const CImage* image, int cap_first, int cap_second);
  void SetBkColor(COLORREF color) { bk_color_ = color; }
  void SetBarImage(const CImage* image, int cap_first, int cap_second);
  // Repeated along the bar instead of stretched.
  void SetBarTileImage(const CImage* image) { bar_tile_ = image; }
  void SetBarColor(COLORREF color) { bar_color_ = color; }
  void SetMargins(int left, int top, int right, int bottom) { margins_ = {left, top, right, bottom}; }
  void SetRange(ULONGLONG range) { range_ = range; }
  ULONGLONG GetRange() const { return range_; }
  virtual void SetPosition(ULONGLONG position, BOOL redraw);
  ULONGLONG GetPosition() const { return position_; }
  // `format` gets the percentage as a double (e.g. L"%.0f%%").
  void SetShowText(BOOL show, const wchar_t* format);
  void SetBkOnTop(BOOL on_top) { bk_on_top_ = on_top; }

  // Position over range, at least 0.01; 0 when the range is 0.
  double Fraction() const;
  // The part of the inner rectangle `fraction` of the way along the direction,
  // anchored at its start edge (parent coordinates).
  RECT BarRectFor(double fraction) const;
  // False when the range is 0 (no bar at all).
  bool GetBarRect(RECT* bar) const;

  void Draw(HDC dc) override;

 protected:
  void DrawBackground(HDC dc);
  void DrawBar(HDC dc, const RECT& bar);
  bool Vertical() const { return direction_ == kGrowFromTop || direction_ == kGrowFromBottom; }

  int direction_ = kGrowFromLeft;
  const CImage* bk_image_ = nullptr;
  int bk_caps_[2] = {0, 0};
  COLORREF bk_color_ = kNoColor;
  const CImage* bar_image_ = nullptr;
  int bar_caps_[2] = {0, 0};
  const CImage* bar_tile_ = nullptr;
  COLORREF bar_color_ = kNoColor;
  RECT margins_ = {0, 0, 0, 0};
  ULONGLONG range_ = 0;
  ULONGLONG position_ = 0;
  BOOL show_text_ = FALSE;
  std::wstring text_format_string_;
  BOOL bk_on_top_ = FALSE;
};

class CLayerProgressSpecial : public CLayerProgress {
 public:
  using CLayerProgress::CLayerProgress;

  void SetSweepColor(COLORREF color) { sweep_color_ = color; }
  void SetSweepInterval(UINT ms) { sweep_interval_ = ms; }
  // Starts the sweep from the position; nothing runs once the bar is full.
  void StartSweep();
  void StopSweep();
  bool IsSweeping() const { return sweeping_; }
  ULONGLONG GetSweepHead() const { return head_; }

  void SetPosition(ULONGLONG position, BOOL redraw) override;
  void OnTimer(UINT id) override;
  void Draw(HDC dc) override;

 private:
  COLORREF sweep_color_ = kNoColor;
  UINT sweep_interval_ = 30;
  ULONGLONG head_ = 0;
  double fullness_ = 0.01;
  bool sweeping_ = false;
};
