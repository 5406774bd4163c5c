// The GDI+ flat API as the toolkit uses it, bound at run time from System32
// (gdiplus.dll is not a library Windows always takes from there, so it is never
// imported). Declares only the handful of types and entries the toolkit needs,
// plus small RAII owners for the objects it creates per drawing call.
#pragma once

#include <windows.h>
#include <objidl.h>

namespace gdip {

struct GpGraphics;
struct GpBrush;
struct GpPen;
struct GpImage;
struct GpFont;
struct GpFontFamily;
struct GpStringFormat;
struct GpFontCollection;

using Status = int;  // 0 = Ok
constexpr Status kOk = 0;

struct RectF {
  float x, y, width, height;
};

// Values of the GDI+ enumerations the toolkit passes.
constexpr int kUnitPixel = 2;
constexpr int kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2;
constexpr int kTrimNone = 0, kTrimEllipsisCharacter = 3, kTrimEllipsisWord = 4;
constexpr int kFormatNoWrap = 0x1000, kFormatNoClip = 0x4000, kFormatMeasureTrailingSpaces = 0x800;
constexpr int kTextHintSystemDefault = 0, kTextHintAntiAliasGridFit = 3;

// Every entry the toolkit calls; null members mean GDI+ is missing.
struct Api {
  Status(WINAPI* CreateFromHDC)(HDC, GpGraphics**);
  Status(WINAPI* DeleteGraphics)(GpGraphics*);
  Status(WINAPI* SetTextRenderingHint)(GpGraphics*, int);
  Status(WINAPI* CreateSolidFill)(DWORD argb, GpBrush**);
  Status(WINAPI* DeleteBrush)(GpBrush*);
  Status(WINAPI* FillRectangleI)(GpGraphics*, GpBrush*, INT, INT, INT, INT);
  Status(WINAPI* CreatePen1)(DWORD argb, float width, int unit, GpPen**);
  Status(WINAPI* DeletePen)(GpPen*);
  Status(WINAPI* DrawRectangleI)(GpGraphics*, GpPen*, INT, INT, INT, INT);
  Status(WINAPI* CreateStringFormat)(INT flags, LANGID, GpStringFormat**);
  Status(WINAPI* DeleteStringFormat)(GpStringFormat*);
  Status(WINAPI* SetStringFormatAlign)(GpStringFormat*, int);
  Status(WINAPI* SetStringFormatLineAlign)(GpStringFormat*, int);
  Status(WINAPI* SetStringFormatTrimming)(GpStringFormat*, int);
  Status(WINAPI* DrawString)(GpGraphics*, const WCHAR*, INT, const GpFont*, const RectF*,
                             const GpStringFormat*, const GpBrush*);
  Status(WINAPI* MeasureString)(GpGraphics*, const WCHAR*, INT, const GpFont*, const RectF*,
                                const GpStringFormat*, RectF*, INT*, INT*);
  Status(WINAPI* DrawImageRectRectI)(GpGraphics*, GpImage*, INT, INT, INT, INT, INT, INT, INT,
                                     INT, int unit, const void* attributes, void* callback,
                                     void* callback_data);
  Status(WINAPI* CreateBitmapFromStream)(IStream*, GpImage**);
  Status(WINAPI* CreateBitmapFromFile)(const WCHAR*, GpImage**);
  Status(WINAPI* GetImageWidth)(GpImage*, UINT*);
  Status(WINAPI* GetImageHeight)(GpImage*, UINT*);
  Status(WINAPI* DisposeImage)(GpImage*);
  Status(WINAPI* CreateFontFromDC)(HDC, GpFont**);
  Status(WINAPI* CreateFontFamilyFromName)(const WCHAR*, GpFontCollection*, GpFontFamily**);
  Status(WINAPI* DeleteFontFamily)(GpFontFamily*);
  Status(WINAPI* CreateFontFromFamily)(const GpFontFamily*, float size, INT style, int unit, GpFont**);
  Status(WINAPI* DeleteFont)(GpFont*);
};

// The bound entries; resolved once per process. Check Available() first.
const Api& Gdip();
bool Available();

// Colour value 0x00BBGGRR with an alpha, as GDI+ wants it (0xAARRGGBB).
inline DWORD Argb(COLORREF color, BYTE alpha) {
  return (static_cast<DWORD>(alpha) << 24) | (GetRValue(color) << 16) |
         (GetGValue(color) << 8) | GetBValue(color);
}

// GdiplusStartup/GdiplusShutdown for a scope (tests and tools; the setup run
// starts GDI+ itself). ok() is false when GDI+ could not start.
class ScopedStartup {
 public:
  ScopedStartup();
  ~ScopedStartup();
  ScopedStartup(const ScopedStartup&) = delete;
  ScopedStartup& operator=(const ScopedStartup&) = delete;
  bool ok() const { return token_ != 0; }

 private:
  ULONG_PTR token_ = 0;
};

// Owners of the objects made per drawing call.
template <class T, Status(WINAPI* Api::*Delete)(T*)>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T* p) : p_(p) {}
  ~Owned() { Reset(); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  T* get() const { return p_; }
  T** Receive() {
    Reset();
    return &p_;
  }
  void Reset() {
    if (p_) (Gdip().*Delete)(p_);
    p_ = nullptr;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

using Graphics = Owned<GpGraphics, &Api::DeleteGraphics>;
using Brush = Owned<GpBrush, &Api::DeleteBrush>;
using Pen = Owned<GpPen, &Api::DeletePen>;
using StringFormat = Owned<GpStringFormat, &Api::DeleteStringFormat>;
using FontFamily = Owned<GpFontFamily, &Api::DeleteFontFamily>;
using Font = Owned<GpFont, &Api::DeleteFont>;

}  // namespace gdip
