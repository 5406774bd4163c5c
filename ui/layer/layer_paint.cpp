#include "ui/layer/layer_paint.h"

#include <atomic>

#include "ui/layer/layer_window.h"

namespace {

// Constant-initialised: it is read while composing, possibly before any
// constructor of this module ran (Install loaded by another program).
std::atomic<bool> g_text_smoothing{false};

gdip::RectF ToRectF(const RECT& r) {
  return {static_cast<float>(r.left), static_cast<float>(r.top),
          static_cast<float>(r.right - r.left), static_cast<float>(r.bottom - r.top)};
}

}  // namespace

void SetLayerTextSmoothing(bool on) { g_text_smoothing = on; }
bool GetLayerTextSmoothing() { return g_text_smoothing; }

bool OpenLayerGraphics(HDC dc, gdip::Graphics* graphics) {
  if (!gdip::Available()) return false;
  const gdip::Api& api = gdip::Gdip();
  if (api.CreateFromHDC(dc, graphics->Receive()) != gdip::kOk) {
    graphics->Reset();
    return false;
  }
  api.SetTextRenderingHint(graphics->get(), g_text_smoothing ? gdip::kTextHintAntiAliasGridFit
                                                             : gdip::kTextHintSystemDefault);
  return true;
}

bool MakeLayerStringFormat(UINT flags, gdip::StringFormat* format, int extra) {
  if (!gdip::Available()) return false;
  const gdip::Api& api = gdip::Gdip();
  int format_flags = extra;
  if (flags & kTextNoWrap) format_flags |= gdip::kFormatNoWrap;
  if (flags & kTextNoClip) format_flags |= gdip::kFormatNoClip;
  if (api.CreateStringFormat(format_flags, LANG_NEUTRAL, format->Receive()) != gdip::kOk) {
    format->Reset();
    return false;
  }
  int align = gdip::kAlignNear;
  if (flags & kTextHCenter) align = gdip::kAlignCenter;
  else if (flags & kTextRight) align = gdip::kAlignFar;
  int line = gdip::kAlignNear;
  if (flags & kTextVCenter) line = gdip::kAlignCenter;
  else if (flags & kTextBottom) line = gdip::kAlignFar;
  int trimming = gdip::kTrimNone;
  if (flags & kTextEllipsis) trimming = gdip::kTrimEllipsisCharacter;
  else if (flags & kTextEllipsisWord) trimming = gdip::kTrimEllipsisWord;
  api.SetStringFormatAlign(format->get(), align);
  api.SetStringFormatLineAlign(format->get(), line);
  api.SetStringFormatTrimming(format->get(), trimming);
  return true;
}

void FillLayerRect(HDC dc, const RECT& rect, COLORREF color) {
  if (color == kNoColor || IsRectEmpty(&rect)) return;
  gdip::Graphics graphics;
  if (!OpenLayerGraphics(dc, &graphics)) return;
  const gdip::Api& api = gdip::Gdip();
  gdip::Brush brush;
  if (api.CreateSolidFill(gdip::Argb(color, kLayerAlpha), brush.Receive()) != gdip::kOk) return;
  api.FillRectangleI(graphics.get(), brush.get(), rect.left, rect.top, rect.right - rect.left,
                     rect.bottom - rect.top);
}

void DrawLayerText(HDC dc, const std::wstring& text, gdip::GpFont* font, const RECT& rect,
                   COLORREF color, UINT flags) {
  if (text.empty() || !font || color == kNoColor) return;
  gdip::Graphics graphics;
  gdip::StringFormat format;
  if (!OpenLayerGraphics(dc, &graphics) || !MakeLayerStringFormat(flags, &format)) return;
  const gdip::Api& api = gdip::Gdip();
  gdip::Brush brush;
  if (api.CreateSolidFill(gdip::Argb(color, kLayerAlpha), brush.Receive()) != gdip::kOk) return;
  const gdip::RectF layout = ToRectF(rect);
  api.DrawString(graphics.get(), text.c_str(), static_cast<INT>(text.size()), font, &layout,
                 format.get(), brush.get());
}

void DrawLayerFocusFrame(HDC dc, const RECT& rect) {
  gdip::Graphics graphics;
  if (!OpenLayerGraphics(dc, &graphics)) return;
  const gdip::Api& api = gdip::Gdip();
  gdip::Pen pen;
  if (api.CreatePen1(gdip::Argb(RGB(0, 0, 0), kLayerAlpha), 1.0f, gdip::kUnitPixel,
                     pen.Receive()) != gdip::kOk)
    return;
  api.DrawRectangleI(graphics.get(), pen.get(), rect.left, rect.top, rect.right - rect.left - 1,
                     rect.bottom - rect.top - 1);
}
