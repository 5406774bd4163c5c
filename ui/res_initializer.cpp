#include "ui/res_initializer.h"

#include <string>

#include "base/singleton.h"
#include "ui/layer/shared_font.h"
#include "ui/ui_resource_ids.h"

namespace {

constexpr int kStyleRegular = 0, kStyleBold = 1, kStyleUnderline = 4;

struct FontEntry {
  UINT id;
  float pixels;
  int style;
};

constexpr FontEntry kFonts[] = {
    {IDF_8, 8, kStyleRegular},       {IDF_9, 9, kStyleRegular},
    {IDF_12, 12, kStyleRegular},     {IDF_12_UNDERLINE, 12, kStyleUnderline},
    {IDF_12_BOLD, 12, kStyleBold},   {IDF_14, 14, kStyleRegular},
    {IDF_14_UNDERLINE, 14, kStyleUnderline}, {IDF_14_BOLD, 14, kStyleBold},
    {IDF_17, 17, kStyleRegular},     {IDF_16, 16, kStyleRegular},
    {IDF_16_BOLD, 16, kStyleBold},   {IDF_18, 18, kStyleRegular},
    {IDF_18_BOLD, 18, kStyleBold},   {IDF_20, 20, kStyleRegular},
    {IDF_22_BOLD, 22, kStyleBold},
};

struct ImageEntry {
  UINT id;
  int frames;
};

constexpr ImageEntry kImages[] = {
    {IDB_CLOSE, 4},          {IDB_BOX_BUTTON_PRIMARY, 3}, {IDB_BOX_BUTTON_SECONDARY, 3},
    {IDB_BOX_CLOSE, 3},      {IDB_BOX_BACKGROUND, 1},     {IDB_CHECKBOX, 8},
    {IDB_WELCOME_LOGO, 1},   {IDB_BROWSE, 4},             {IDB_CUSTOM_LINK, 3},
    {IDB_PROGRESS_BACK, 1},  {IDB_PROGRESS_FILL, 1},      {IDB_DIR_FIELD, 1},
    {IDB_PAGE_BACKGROUND, 1}, {IDB_MINIMISE, 3},          {IDB_LARGE_BUTTON, 4},
    {IDB_INSTALL_BUTTON, 4}, {IDB_BACK_BUTTON, 3},        {IDB_PROGRESS_PICTURE, 1},
    {IDB_FINISH_LOGO, 1},
};

// The family GDI actually uses for Chinese text in `face` (the face itself
// when installed, else its substitute).
std::wstring ResolvedChineseFace(const std::wstring& face) {
  LOGFONTW lf = {};
  lf.lfHeight = -14;
  lf.lfCharSet = GB2312_CHARSET;
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&lf);
  HDC dc = GetDC(nullptr);
  wchar_t resolved[LF_FACESIZE] = {};
  if (font && dc) {
    HGDIOBJ old = SelectObject(dc, font);
    GetTextFaceW(dc, LF_FACESIZE, resolved);
    SelectObject(dc, old);
  }
  if (dc) ReleaseDC(nullptr, dc);
  if (font) DeleteObject(font);
  return resolved;
}

// The shared font's face; when GDI+ does not know it (none of the preferred
// faces is installed), whatever GDI substitutes for it; Tahoma last.
bool MakeFamily(const std::wstring& face, gdip::FontFamily* family) {
  const gdip::Api& api = gdip::Gdip();
  const std::wstring candidates[] = {face, ResolvedChineseFace(face), L"Tahoma"};
  for (const std::wstring& name : candidates) {
    if (!name.empty() &&
        api.CreateFontFamilyFromName(name.c_str(), nullptr, family->Receive()) == gdip::kOk)
      return true;
  }
  return false;
}

}  // namespace

ResInitializer* ResInitializer::GetInstance() { return CSingletonT<ResInitializer>::GetInstance(); }

int ImageFrameCount(UINT id) {
  for (const ImageEntry& entry : kImages)
    if (entry.id == id) return entry.frames;
  return 1;
}

bool ResInitializer::Init(HMODULE module) {
  Term();
  cursors_[IDC_HAND_CURSOR] = LoadCursorW(nullptr, IDC_HAND);
  if (!gdip::Available()) return false;

  bool complete = true;
  gdip::FontFamily family;
  if (MakeFamily(CSharedFont::GetInstance()->GetFaceName(), &family)) {
    for (const FontEntry& entry : kFonts) {
      gdip::GpFont* font = nullptr;
      if (gdip::Gdip().CreateFontFromFamily(family.get(), entry.pixels, entry.style,
                                            gdip::kUnitPixel, &font) == gdip::kOk && font)
        fonts_[entry.id] = font;
      else
        complete = false;
    }
  } else {
    complete = false;
  }

  // Images are decoded when first asked for: a silent run never draws, and
  // the wizard's first frame needs only some of them.
  module_ = module;
  for (const ImageEntry& entry : kImages) {
    if (!FindResourceW(module, MAKEINTRESOURCEW(entry.id), L"PNG")) complete = false;
  }
  return complete;
}

void ResInitializer::DecodeImagesAhead() {
  InterlockedExchange(&stop_decoding_, 0);
  decoder_.Start(this);
}

unsigned ResInitializer::Run() {
  for (const ImageEntry& entry : kImages) {
    if (stop_decoding_) break;
    GetImage(entry.id);
  }
  return 0;
}

void ResInitializer::Term() {
  InterlockedExchange(&stop_decoding_, 1);
  decoder_.Join();
  for (auto& font : fonts_) gdip::Gdip().DeleteFont(font.second);
  fonts_.clear();
  {
    CAutoLocker lock(images_lock_);
    images_.clear();
    module_ = nullptr;
  }
  // Shared system cursors are not destroyed.
  cursors_.clear();
}

gdip::GpFont* ResInitializer::GetFont(UINT id) const {
  auto it = fonts_.find(id);
  return it == fonts_.end() ? nullptr : it->second;
}

const CImage* ResInitializer::GetImage(UINT id) const {
  CAutoLocker lock(images_lock_);
  auto it = images_.find(id);
  if (it != images_.end()) return it->second.get();
  if (!module_) return nullptr;
  for (const ImageEntry& entry : kImages) {
    if (entry.id != id) continue;
    auto image = std::make_unique<CImage>();
    if (!image->LoadFromResource(module_, L"PNG", entry.id, entry.frames)) return nullptr;
    return (images_[id] = std::move(image)).get();
  }
  return nullptr;
}

HCURSOR ResInitializer::GetCursor(UINT id) const {
  auto it = cursors_.find(id);
  return it == cursors_.end() ? nullptr : it->second;
}
