#include "ui/layer/image_draw.h"

#include <algorithm>

#include "ui/layer/image.h"

namespace {

void Part(HDC dc, const CImage& image, int sx, int sy, int sw, int sh, int dx, int dy, int dw,
          int dh) {
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  image.DrawPart(dc, RECT{sx, sy, sx + sw, sy + sh}, RECT{dx, dy, dx + dw, dy + dh});
}

}  // namespace

void DrawImageThreePart(HDC dc, const CImage& image, const RECT& rect, bool vertical, int cap_first,
                        int cap_second) {
  if (!image.IsLoaded()) return;
  const int iw = image.Width(), ih = image.Height();
  const int dw = rect.right - rect.left, dh = rect.bottom - rect.top;
  if (vertical) {
    Part(dc, image, 0, 0, iw, cap_first, rect.left, rect.top, dw, cap_first);
    Part(dc, image, 0, cap_first, iw, ih - cap_first - cap_second, rect.left,
         rect.top + cap_first, dw, dh - cap_first - cap_second);
    Part(dc, image, 0, ih - cap_second, iw, cap_second, rect.left, rect.bottom - cap_second, dw,
         cap_second);
  } else {
    Part(dc, image, 0, 0, cap_first, ih, rect.left, rect.top, cap_first, dh);
    Part(dc, image, cap_first, 0, iw - cap_first - cap_second, ih, rect.left + cap_first,
         rect.top, dw - cap_first - cap_second, dh);
    Part(dc, image, iw - cap_second, 0, cap_second, ih, rect.right - cap_second, rect.top,
         cap_second, dh);
  }
}

static void DrawNineGrid(HDC dc, const CImage& image, const RECT& rect, const RECT& m) {
  const int iw = image.Width(), ih = image.Height();
  // Source and destination column and row edges: corners keep their size.
  const int sx[4] = {0, m.left, iw - m.right, iw};
  const int sy[4] = {0, m.top, ih - m.bottom, ih};
  const int dx[4] = {rect.left, rect.left + m.left, rect.right - m.right, rect.right};
  const int dy[4] = {rect.top, rect.top + m.top, rect.bottom - m.bottom, rect.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      Part(dc, image, sx[col], sy[row], sx[col + 1] - sx[col], sy[row + 1] - sy[row], dx[col],
           dy[row], dx[col + 1] - dx[col], dy[row + 1] - dy[row]);
    }
  }
}

void DrawImageInMode(HDC dc, const CImage& image, const RECT& rect, const LayerImageLayout& layout) {
  if (!image.IsLoaded()) return;
  const int w = rect.right - rect.left, h = rect.bottom - rect.top;
  switch (layout.mode) {
    case kImageCentered: {
      const int x = rect.left + (w - image.Width()) / 2;
      const int y = rect.top + (h - image.Height()) / 2;
      image.DrawPart(dc, RECT{0, 0, image.Width(), image.Height()},
                     RECT{x, y, x + image.Width(), y + image.Height()});
      break;
    }
    case kImageNineGrid:
      DrawNineGrid(dc, image, rect, layout.margins);
      break;
    case kImageThreeVertical:
      DrawImageThreePart(dc, image, rect, true, layout.cap_first, layout.cap_second);
      break;
    case kImageThreeHorizontal:
      DrawImageThreePart(dc, image, rect, false, layout.cap_first, layout.cap_second);
      break;
    case kImageStripFrame:
      if (layout.frame >= 0) image.DrawFrame(dc, layout.frame, rect);
      break;
    case kImageStretched:
      image.DrawPart(dc, RECT{0, 0, image.Width(), image.Height()}, rect);
      break;
    default:
      break;
  }
}
