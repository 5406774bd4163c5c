// CLayerFrame: the 32-bit premultiplied frame of a layered window. Composes
// the cached background and the drawing hooks into a DIB section kept
// selected in a memory DC, ready for UpdateLayeredWindow.
#pragma once

#include <windows.h>

class ILayerFrameHooks {
 public:
  // Paints the cached background (only when the cache is missing, of the
  // wrong size or marked dirty).
  virtual void DrawFrameBackground(HDC dc, const RECT& client) = 0;
  virtual void DrawBeforeControls(HDC dc) = 0;
  virtual void DrawControls(HDC dc) = 0;
  virtual void DrawAfterControls(HDC dc) = 0;

 protected:
  ~ILayerFrameHooks() = default;
};

class CLayerFrame {
 public:
  CLayerFrame() = default;
  ~CLayerFrame() { Free(); }
  CLayerFrame(const CLayerFrame&) = delete;
  CLayerFrame& operator=(const CLayerFrame&) = delete;

  // Recomposes the frame of `width` x `height`, only inside `clip` when given.
  // False when a bitmap or DC could not be made.
  bool Compose(int width, int height, const RECT* clip, ILayerFrameHooks& hooks);
  void MarkBackgroundDirty() { background_dirty_ = true; }

  // Hands the frame to UpdateLayeredWindow at the window's screen position.
  bool Present(HWND hwnd, BYTE constant_alpha);

  HDC GetDC() const { return frame_dc_; }
  // Top-down BGRA rows, premultiplied; valid after a successful Compose.
  const DWORD* Pixels() const { return frame_bits_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  // A top-down 32-bit DIB section selected into a new memory DC.
  static bool MakeSurface(int width, int height, HDC* dc, HBITMAP* bitmap, HGDIOBJ* old,
                          DWORD** bits);
  static void FreeSurface(HDC* dc, HBITMAP* bitmap, HGDIOBJ* old);
  void Free();

  int width_ = 0;
  int height_ = 0;
  HDC frame_dc_ = nullptr;
  HBITMAP frame_bitmap_ = nullptr;
  HGDIOBJ frame_old_ = nullptr;
  DWORD* frame_bits_ = nullptr;
  HDC background_dc_ = nullptr;
  HBITMAP background_bitmap_ = nullptr;
  HGDIOBJ background_old_ = nullptr;
  DWORD* background_bits_ = nullptr;
  bool background_dirty_ = true;
};
