#include "ui/layer/layer_frame.h"

bool CLayerFrame::MakeSurface(int width, int height, HDC* dc, HBITMAP* bitmap, HGDIOBJ* old,
                              DWORD** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down: row 0 is the top of the window
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  *bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (!*bitmap) return false;
  *dc = CreateCompatibleDC(nullptr);
  if (!*dc) {
    DeleteObject(*bitmap);
    *bitmap = nullptr;
    return false;
  }
  *old = SelectObject(*dc, *bitmap);
  *bits = static_cast<DWORD*>(pixels);
  return true;
}

void CLayerFrame::FreeSurface(HDC* dc, HBITMAP* bitmap, HGDIOBJ* old) {
  if (*dc) {
    SelectObject(*dc, *old);
    DeleteDC(*dc);
  }
  if (*bitmap) DeleteObject(*bitmap);
  *dc = nullptr;
  *bitmap = nullptr;
  *old = nullptr;
}

void CLayerFrame::Free() {
  FreeSurface(&frame_dc_, &frame_bitmap_, &frame_old_);
  FreeSurface(&background_dc_, &background_bitmap_, &background_old_);
  frame_bits_ = background_bits_ = nullptr;
  width_ = height_ = 0;
}

bool CLayerFrame::Compose(int width, int height, const RECT* clip, ILayerFrameHooks& hooks) {
  if (width <= 0 || height <= 0) return false;
  if (width != width_ || height != height_ || !frame_dc_) {
    Free();
    if (!MakeSurface(width, height, &frame_dc_, &frame_bitmap_, &frame_old_, &frame_bits_))
      return false;
    width_ = width;
    height_ = height;
    background_dirty_ = true;
  }
  const RECT client = {0, 0, width, height};
  if (background_dirty_ || !background_dc_) {
    FreeSurface(&background_dc_, &background_bitmap_, &background_old_);
    if (!MakeSurface(width, height, &background_dc_, &background_bitmap_, &background_old_,
                     &background_bits_))
      return false;
    hooks.DrawFrameBackground(background_dc_, client);
    GdiFlush();
    background_dirty_ = false;
  }

  // Each composition starts from a clean DC state: hooks may have left an
  // origin or clip behind.
  SetViewportOrgEx(frame_dc_, 0, 0, nullptr);
  SelectClipRgn(frame_dc_, nullptr);
  if (clip) IntersectClipRect(frame_dc_, clip->left, clip->top, clip->right, clip->bottom);
  BitBlt(frame_dc_, 0, 0, width, height, background_dc_, 0, 0, SRCCOPY);
  hooks.DrawBeforeControls(frame_dc_);
  hooks.DrawControls(frame_dc_);
  hooks.DrawAfterControls(frame_dc_);
  GdiFlush();
  SelectClipRgn(frame_dc_, nullptr);
  return true;
}

bool CLayerFrame::Present(HWND hwnd, BYTE constant_alpha) {
  if (!frame_dc_) return false;
  RECT window;
  if (!::GetWindowRect(hwnd, &window)) return false;
  POINT position = {window.left, window.top};
  SIZE size = {width_, height_};
  POINT source = {0, 0};
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, constant_alpha, AC_SRC_ALPHA};
  HDC screen = ::GetDC(nullptr);
  const BOOL ok = ::UpdateLayeredWindow(hwnd, screen, &position, &size, frame_dc_, &source, 0,
                                        &blend, ULW_ALPHA);
  ::ReleaseDC(nullptr, screen);
  return ok != FALSE;
}
