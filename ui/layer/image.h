// CImage: a GDI+ bitmap used as a horizontal strip of equally wide frames.
// Frame i is drawn from x = i * (width / frames) (0 past the last frame), with
// the destination's width (the whole image width when whole-width is set) and
// the image's height. An image of zero width or height counts as not loaded and
// draws nothing.
#pragma once

#include <windows.h>

#include "ui/layer/gdiplus_api.h"

class CImage {
 public:
  CImage() = default;
  ~CImage() { Free(); }
  CImage(const CImage&) = delete;
  CImage& operator=(const CImage&) = delete;

  // Loads a resource of `module` (type and id, e.g. L"PNG") by copying it
  // into movable global memory and reading it through a stream. Returns false
  // and keeps nothing on failure.
  bool LoadFromResource(HMODULE module, const wchar_t* type, UINT id, int frames = 1);
  // Encoded image bytes in memory (the same path as a resource).
  bool LoadFromMemory(const void* data, size_t size, int frames = 1);
  bool LoadFromFile(const wchar_t* path, int frames = 1);
  void Free();

  bool IsLoaded() const { return bitmap_ && width_ > 0 && height_ > 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int FrameCount() const { return frames_; }
  int FrameWidth() const { return width_ / frames_; }
  void SetFrameCount(int frames) { frames_ = frames < 1 ? 1 : frames; }
  bool WholeWidth() const { return whole_width_; }
  void SetWholeWidth(bool whole) { whole_width_ = whole; }
  gdip::GpImage* Get() const { return bitmap_; }

  // Draws frame `index` into `dest` (DC logical coordinates).
  void DrawFrame(HDC dc, int index, const RECT& dest) const;
  // Draws the source rectangle `src` (image pixels) stretched over `dest`.
  void DrawPart(HDC dc, const RECT& src, const RECT& dest) const;

 private:
  bool Adopt(gdip::GpImage* bitmap, int frames);

  gdip::GpImage* bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int frames_ = 1;
  bool whole_width_ = false;
};
