#include "ui/layer/layer_progress.h"

#include <algorithm>
#include <cwchar>

#include "ui/layer/image.h"
#include "ui/layer/image_draw.h"
#include "ui/layer/layer_paint.h"

void CLayerProgress::SetBkImage(const CImage* image, int cap_first, int cap_second) {
  bk_image_ = image;
  bk_caps_[0] = cap_first, bk_caps_[1] = cap_second;
}

void CLayerProgress::SetBarImage(const CImage* image, int cap_first, int cap_second) {
  bar_image_ = image;
  bar_caps_[0] = cap_first, bar_caps_[1] = cap_second;
}

void CLayerProgress::SetPosition(ULONGLONG position, BOOL redraw) {
  position_ = position;
  if (redraw) Invalidate(nullptr);
}

void CLayerProgress::SetShowText(BOOL show, const wchar_t* format) {
  show_text_ = show;
  text_format_string_ = format ? format : L"";
}

double CLayerProgress::Fraction() const {
  if (range_ == 0) return 0.0;
  const ULONGLONG shown = std::min(position_, range_);
  // A sliver always shows, so a started bar never looks empty.
  return std::max(0.01, static_cast<double>(shown) / static_cast<double>(range_));
}

RECT CLayerProgress::BarRectFor(double fraction) const {
  RECT bar = {rect_.left + margins_.left, rect_.top + margins_.top, rect_.right - margins_.right,
              rect_.bottom - margins_.bottom};
  const LONG inner = Vertical() ? bar.bottom - bar.top : bar.right - bar.left;
  const LONG length = static_cast<LONG>(inner * std::min(fraction, 1.0));
  switch (direction_) {
    case kGrowFromRight: bar.left = bar.right - length; break;
    case kGrowFromTop: bar.bottom = bar.top + length; break;
    case kGrowFromBottom: bar.top = bar.bottom - length; break;
    default: bar.right = bar.left + length; break;
  }
  return bar;
}

bool CLayerProgress::GetBarRect(RECT* bar) const {
  if (range_ == 0) return false;
  *bar = BarRectFor(Fraction());
  return true;
}

void CLayerProgress::DrawBackground(HDC dc) {
  if (bk_image_ && bk_image_->IsLoaded())
    DrawImageThreePart(dc, *bk_image_, rect_, Vertical(), bk_caps_[0], bk_caps_[1]);
  else
    FillLayerRect(dc, rect_, bk_color_);
}

void CLayerProgress::DrawBar(HDC dc, const RECT& bar) {
  if (IsRectEmpty(&bar)) return;
  if (bar_color_ != kNoColor) {
    FillLayerRect(dc, bar, bar_color_);
  } else if (bar_tile_ && bar_tile_->IsLoaded()) {
    const int step = Vertical() ? bar_tile_->Height() : bar_tile_->Width();
    // Clipping keeps the last tile inside the bar.
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, bar.left, bar.top, bar.right, bar.bottom);
    for (int pos = Vertical() ? bar.top : bar.left; pos < (Vertical() ? bar.bottom : bar.right);
         pos += step) {
      const RECT tile = Vertical() ? RECT{bar.left, pos, bar.right, pos + step}
                                   : RECT{pos, bar.top, pos + step, bar.bottom};
      bar_tile_->DrawPart(dc, RECT{0, 0, bar_tile_->Width(), bar_tile_->Height()}, tile);
    }
    RestoreDC(dc, saved);
  } else if (bar_image_ && bar_image_->IsLoaded()) {
    DrawImageThreePart(dc, *bar_image_, bar, Vertical(), bar_caps_[0], bar_caps_[1]);
  }
}

void CLayerProgress::Draw(HDC dc) {
  if (!bk_on_top_) DrawBackground(dc);
  RECT bar;
  if (GetBarRect(&bar)) DrawBar(dc, bar);
  if (show_text_ && font_ && range_ != 0 && !text_format_string_.empty()) {
    wchar_t text[64];
    const double percent =
        static_cast<double>(std::min(position_, range_)) / static_cast<double>(range_) * 100.0;
    swprintf(text, 64, text_format_string_.c_str(), percent);
    DrawLayerText(dc, text, font_, rect_, text_color_, text_format_);
  }
  if (bk_on_top_) DrawBackground(dc);
}

void CLayerProgressSpecial::StartSweep() {
  head_ = position_;
  if (position_ >= range_) return;
  sweeping_ = StartTimer(sweep_interval_) != FALSE;
}

void CLayerProgressSpecial::StopSweep() {
  if (sweeping_) StopTimer();
  sweeping_ = false;
  Invalidate(nullptr);
}

void CLayerProgressSpecial::SetPosition(ULONGLONG position, BOOL redraw) {
  position_ = position;
  head_ = std::max(head_, position);
  fullness_ = Fraction();
  if (range_ != 0 && position_ >= range_ && sweeping_) StopSweep();
  if (redraw) Invalidate(nullptr);
}

void CLayerProgressSpecial::OnTimer(UINT id) {
  if (!sweeping_ || id != id_) return;
  if (head_ >= range_) {
    head_ = position_;  // the full sweep was shown for one tick
  } else {
    const ULONGLONG step = fullness_ > 0.9 ? 1 : std::max<ULONGLONG>(1, range_ / 50);
    head_ = std::min(range_, head_ + step);
  }
  Invalidate(nullptr);
}

void CLayerProgressSpecial::Draw(HDC dc) {
  CLayerProgress::Draw(dc);
  if (range_ == 0 || sweep_color_ == kNoColor) return;
  const double fraction =
      std::max(0.01, static_cast<double>(std::min(head_, range_)) / static_cast<double>(range_));
  FillLayerRect(dc, BarRectFor(fraction), sweep_color_);
}
