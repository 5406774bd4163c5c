#include "ui/layer/layer_label.h"

#include "ui/layer/image.h"
#include "ui/layer/layer_paint.h"

CLayerLabelCtrl::CLayerLabelCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x,
                                 int y, int width, int height, UINT layout_flags)
    : CLayerControlBase(parent, owner, id, x, y, width, height, layout_flags) {
  SetPassThrough(TRUE);
}

SIZE CLayerLabelCtrl::MeasureText(BOOL no_width_bound, BOOL no_height_bound) {
  SIZE size = {0, 0};
  HWND hwnd = owner_ ? owner_->GetHwnd() : nullptr;
  if (text_.empty() || !font_ || !hwnd || !::IsWindow(hwnd) || !gdip::Available()) return size;
  HDC dc = ::GetDC(hwnd);
  if (!dc) return size;
  {
    gdip::Graphics graphics;
    gdip::StringFormat format;
    // Trailing spaces count: a label sized to its text must not cut them.
    if (OpenLayerGraphics(dc, &graphics) &&
        MakeLayerStringFormat(text_format_, &format, gdip::kFormatMeasureTrailingSpaces)) {
      const gdip::RectF layout = {
          0.0f, 0.0f, no_width_bound ? 0.0f : static_cast<float>(rect_.right - rect_.left),
          no_height_bound ? 0.0f : static_cast<float>(rect_.bottom - rect_.top)};
      gdip::RectF bounds = {};
      if (gdip::Gdip().MeasureString(graphics.get(), text_.c_str(), static_cast<INT>(text_.size()),
                                     font_, &layout, format.get(), &bounds, nullptr,
                                     nullptr) == gdip::kOk) {
        size.cx = static_cast<LONG>(bounds.width) + 1;
        size.cy = static_cast<LONG>(bounds.height) + 1;
      }
    }
  }
  ::ReleaseDC(hwnd, dc);
  return size;
}

void CLayerLabelCtrl::DrawLabelText(HDC dc) {
  if (text_.empty() || !font_) return;
  const RECT rect = TextRect();
  if (outline_color_ == kNoColor) {
    DrawTextWithShadow(dc, rect, text_color_);
    return;
  }
  static const POINT kShifts[4] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}};
  for (const POINT& shift : kShifts) {
    RECT r = rect;
    OffsetRect(&r, shift.x, shift.y);
    DrawLayerText(dc, text_, font_, r, outline_color_, text_format_);
  }
  DrawLayerText(dc, text_, font_, rect, text_color_, text_format_);
}

void CLayerLabelCtrl::Draw(HDC dc) { DrawLabelText(dc); }

void CLayerLabelCtrl::OnLButtonUp(UINT, int, int, BOOL&) {
  if (takes_mouse_) PostCommand();
}

CLayerImageCtrl::CLayerImageCtrl(CLayerControlGroup* parent, ILayerWindow* owner, UINT id, int x,
                                 int y, int width, int height, UINT layout_flags)
    : CLayerLabelCtrl(parent, owner, id, x, y, width, height, layout_flags) {}

void CLayerImageCtrl::SetImage(const CImage* image, BOOL redraw) {
  image_ = image;
  if (image_ && image_->IsLoaded() && (layout_flags_ & kLayoutSizeToImage))
    SetSize(image_->Width(), image_->Height(), FALSE);
  if (redraw) Invalidate(nullptr);
}

void CLayerImageCtrl::SetOverrideImage(const CImage* image, BOOL redraw) {
  override_ = image;
  if (redraw) Invalidate(nullptr);
}

void CLayerImageCtrl::Draw(HDC dc) {
  const CImage* image = override_ ? override_ : image_;
  if (image) DrawImageInMode(dc, *image, rect_, layout_);
  DrawLabelText(dc);
}
