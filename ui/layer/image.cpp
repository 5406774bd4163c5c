#include "ui/layer/image.h"

#include <cstring>

namespace {

// GlobalFree on scope exit unless a stream took the memory over.
struct ScopedGlobal {
  HGLOBAL h = nullptr;
  ~ScopedGlobal() {
    if (h) GlobalFree(h);
  }
};

}  // namespace

bool CImage::LoadFromResource(HMODULE module, const wchar_t* type, UINT id, int frames) {
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!res) return false;
  const DWORD size = SizeofResource(module, res);
  HGLOBAL loaded = LoadResource(module, res);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return false;
  return LoadFromMemory(data, size, frames);
}

bool CImage::LoadFromMemory(const void* data, size_t size, int frames) {
  if (!gdip::Available() || !data || size == 0) return false;
  // GDI+ reads the stream lazily for as long as the bitmap lives, so the bytes
  // go into memory the stream owns rather than the resource section.
  ScopedGlobal memory;
  memory.h = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!memory.h) return false;
  void* dest = GlobalLock(memory.h);
  if (!dest) return false;
  std::memcpy(dest, data, size);
  GlobalUnlock(memory.h);
  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(memory.h, TRUE, &stream))) return false;
  memory.h = nullptr;  // the stream frees it
  gdip::GpImage* bitmap = nullptr;
  const gdip::Status status = gdip::Gdip().CreateBitmapFromStream(stream, &bitmap);
  stream->Release();  // the bitmap holds its own reference
  if (status != gdip::kOk) return false;
  return Adopt(bitmap, frames);
}

bool CImage::LoadFromFile(const wchar_t* path, int frames) {
  if (!gdip::Available() || !path) return false;
  gdip::GpImage* bitmap = nullptr;
  if (gdip::Gdip().CreateBitmapFromFile(path, &bitmap) != gdip::kOk) return false;
  return Adopt(bitmap, frames);
}

bool CImage::Adopt(gdip::GpImage* bitmap, int frames) {
  UINT width = 0, height = 0;
  gdip::Gdip().GetImageWidth(bitmap, &width);
  gdip::Gdip().GetImageHeight(bitmap, &height);
  Free();
  bitmap_ = bitmap;
  width_ = static_cast<int>(width);
  height_ = static_cast<int>(height);
  SetFrameCount(frames);
  return IsLoaded();
}

void CImage::Free() {
  if (bitmap_) gdip::Gdip().DisposeImage(bitmap_);
  bitmap_ = nullptr;
  width_ = height_ = 0;
}

void CImage::DrawFrame(HDC dc, int index, const RECT& dest) const {
  if (!IsLoaded()) return;
  const int frame_width = width_ / frames_;
  const int x = (index >= 0 && index < frames_) ? index * frame_width : 0;
  const int width = whole_width_ ? width_ : dest.right - dest.left;
  DrawPart(dc, RECT{x, 0, x + width, height_}, dest);
}

void CImage::DrawPart(HDC dc, const RECT& src, const RECT& dest) const {
  if (!IsLoaded()) return;
  gdip::Graphics graphics;
  if (gdip::Gdip().CreateFromHDC(dc, graphics.Receive()) != gdip::kOk) return;
  gdip::Gdip().DrawImageRectRectI(graphics.get(), bitmap_, dest.left, dest.top,
                                  dest.right - dest.left, dest.bottom - dest.top, src.left, src.top,
                                  src.right - src.left, src.bottom - src.top, gdip::kUnitPixel,
                                  nullptr, nullptr, nullptr);
}
