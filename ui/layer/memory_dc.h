// CMemoryDCEx: an off-screen DC compatible with a target DC, with a bitmap of
// the given size selected into it. On destruction the bitmap is copied back to
// the target at (0, 0) and everything is released.
#pragma once

#include <windows.h>

class CMemoryDCEx {
 public:
  CMemoryDCEx(HDC target, int width, int height);
  ~CMemoryDCEx();
  CMemoryDCEx(const CMemoryDCEx&) = delete;
  CMemoryDCEx& operator=(const CMemoryDCEx&) = delete;

  // False when the DC or its bitmap could not be made; drawing then has no
  // effect and nothing is copied back.
  bool IsValid() const { return dc_ && bitmap_; }
  HDC GetDC() const { return dc_; }
  operator HDC() const { return dc_; }

 private:
  HDC target_;
  int width_;
  int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
};
