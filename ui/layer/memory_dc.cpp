#include "ui/layer/memory_dc.h"

CMemoryDCEx::CMemoryDCEx(HDC target, int width, int height)
    : target_(target), width_(width), height_(height) {
  dc_ = CreateCompatibleDC(target);
  if (!dc_) return;
  bitmap_ = CreateCompatibleBitmap(target, width, height);
  if (bitmap_) old_bitmap_ = SelectObject(dc_, bitmap_);
}

CMemoryDCEx::~CMemoryDCEx() {
  if (dc_ && bitmap_) {
    BitBlt(target_, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
    SelectObject(dc_, old_bitmap_);
  }
  if (bitmap_) DeleteObject(bitmap_);
  if (dc_) DeleteDC(dc_);
}
