#include "ui/layer/gdiplus_api.h"

#include "base/system_library.h"

namespace gdip {
namespace {

template <class Fn>
void Bind(Fn& slot, const char* name, bool& all) {
  slot = base::GetSystemProcAs<Fn>(L"gdiplus.dll", name);
  if (!slot) all = false;
}

struct Bound {
  Api api{};
  bool complete = true;

  Bound() {
    bool& ok = complete;
    Bind(api.CreateFromHDC, "GdipCreateFromHDC", ok);
    Bind(api.DeleteGraphics, "GdipDeleteGraphics", ok);
    Bind(api.SetTextRenderingHint, "GdipSetTextRenderingHint", ok);
    Bind(api.CreateSolidFill, "GdipCreateSolidFill", ok);
    Bind(api.DeleteBrush, "GdipDeleteBrush", ok);
    Bind(api.FillRectangleI, "GdipFillRectangleI", ok);
    Bind(api.CreatePen1, "GdipCreatePen1", ok);
    Bind(api.DeletePen, "GdipDeletePen", ok);
    Bind(api.DrawRectangleI, "GdipDrawRectangleI", ok);
    Bind(api.CreateStringFormat, "GdipCreateStringFormat", ok);
    Bind(api.DeleteStringFormat, "GdipDeleteStringFormat", ok);
    Bind(api.SetStringFormatAlign, "GdipSetStringFormatAlign", ok);
    Bind(api.SetStringFormatLineAlign, "GdipSetStringFormatLineAlign", ok);
    Bind(api.SetStringFormatTrimming, "GdipSetStringFormatTrimming", ok);
    Bind(api.DrawString, "GdipDrawString", ok);
    Bind(api.MeasureString, "GdipMeasureString", ok);
    Bind(api.DrawImageRectRectI, "GdipDrawImageRectRectI", ok);
    Bind(api.CreateBitmapFromStream, "GdipCreateBitmapFromStream", ok);
    Bind(api.CreateBitmapFromFile, "GdipCreateBitmapFromFile", ok);
    Bind(api.GetImageWidth, "GdipGetImageWidth", ok);
    Bind(api.GetImageHeight, "GdipGetImageHeight", ok);
    Bind(api.DisposeImage, "GdipDisposeImage", ok);
    Bind(api.CreateFontFromDC, "GdipCreateFontFromDC", ok);
    Bind(api.CreateFontFamilyFromName, "GdipCreateFontFamilyFromName", ok);
    Bind(api.DeleteFontFamily, "GdipDeleteFontFamily", ok);
    Bind(api.CreateFontFromFamily, "GdipCreateFont", ok);
    Bind(api.DeleteFont, "GdipDeleteFont", ok);
  }
};

// Built on first use: the setup's globals must not depend on constructors,
// which never run when Install is loaded by another program.
const Bound& Entries() {
  static const Bound bound;
  return bound;
}

struct StartupInput {
  UINT32 version = 1;
  void* debug_callback = nullptr;
  BOOL suppress_background_thread = FALSE;
  BOOL suppress_external_codecs = FALSE;
};

}  // namespace

const Api& Gdip() { return Entries().api; }
bool Available() { return Entries().complete; }

ScopedStartup::ScopedStartup() {
  // GDI+ loads its image codecs (and they their dependencies) by name when the
  // first image is decoded. Loading them from System32 first means those
  // later loads find them in memory and never search next to the setup.
  for (const wchar_t* codec_library : {L"windowscodecs.dll", L"propsys.dll"}) {
    base::LoadSystemLibrary(codec_library);
  }
  using StartupFn = Status(WINAPI*)(ULONG_PTR*, const StartupInput*, void*);
  auto startup = base::GetSystemProcAs<StartupFn>(L"gdiplus.dll", "GdiplusStartup");
  StartupInput input;
  if (!startup || startup(&token_, &input, nullptr) != kOk) token_ = 0;
}

ScopedStartup::~ScopedStartup() {
  using ShutdownFn = void(WINAPI*)(ULONG_PTR);
  if (!token_) return;
  if (auto shutdown = base::GetSystemProcAs<ShutdownFn>(L"gdiplus.dll", "GdiplusShutdown"))
    shutdown(token_);
}

}  // namespace gdip
