// Drawing an image into a control's rectangle in one of the toolkit's modes
// (image control and hosted-window control).
#pragma once

#include <windows.h>

class CImage;

enum LayerImageMode {
  kImageCentered = 0,     // natural size, centred
  kImageNineGrid = 1,     // corners unscaled, edges stretched one way, centre both
  kImageThreeVertical = 2,  // top and bottom caps unscaled, middle stretched
  kImageThreeHorizontal = 3,  // left and right caps unscaled, middle stretched
  kImageStripFrame = 4,   // one frame of a strip; frame -1 draws nothing
  kImageStretched = 5,
};

struct LayerImageLayout {
  int mode = kImageCentered;
  RECT margins = {0, 0, 0, 0};  // nine-grid: left, top, right, bottom
  int cap_first = 0;            // three-part: top or left cap
  int cap_second = 0;           // three-part: bottom or right cap
  int frame = -1;               // strip frame
};

void DrawImageInMode(HDC dc, const CImage& image, const RECT& rect, const LayerImageLayout& layout);

// Three-part drawing along one axis; the middle is stretched.
void DrawImageThreePart(HDC dc, const CImage& image, const RECT& rect, bool vertical, int cap_first,
                        int cap_second);
