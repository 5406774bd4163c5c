#include "ui/layer/shared_font.h"

#include "base/os_version.h"
#include "base/singleton.h"

namespace {

struct Face {
  UINT flag;
  const wchar_t* name;
};

constexpr Face kFaces[] = {
    {kFaceMsYaHeiCn, L"微软雅黑"}, {kFaceMsYaHei, L"Microsoft YaHei"},
    {kFaceMsYaHeiUi, L"Microsoft YaHei UI"}, {kFaceSimSun, L"宋体"},
    {kFacePMingLiU, L"新細明體"}, {kFaceTahoma, L"Tahoma"},
};

int CALLBACK CollectFace(const LOGFONTW* logfont, const TEXTMETRICW*, DWORD, LPARAM param) {
  auto* found = reinterpret_cast<UINT*>(param);
  const auto* full = reinterpret_cast<const ENUMLOGFONTEXW*>(logfont);
  for (const Face& face : kFaces) {
    if (lstrcmpiW(reinterpret_cast<const wchar_t*>(full->elfFullName), face.name) == 0)
      *found |= face.flag;
  }
  return (*found & kAllFaces) == kAllFaces ? 0 : 1;
}

}  // namespace

const wchar_t* FaceNameOfFlag(UINT flag) {
  for (const Face& face : kFaces) {
    if (face.flag == flag) return face.name;
  }
  return nullptr;
}

const wchar_t* ChooseFaceName(UINT flags) {
  const wchar_t* chosen = L"";
  // From the last resort up, so the most preferred family present wins.
  for (UINT flag = kFaceTahoma; flag != 0; flag >>= 1) {
    if (flags & flag) chosen = FaceNameOfFlag(flag);
  }
  return chosen;
}

UINT DetectFaceFlags(DWORD nt_major, UINT (*enumerate)()) {
  // Older systems report families unreliably; SimSun is always there.
  if (nt_major < 6) return kFaceSimSun;
  return enumerate ? enumerate() : 0;
}

UINT EnumerateInstalledFaces() {
  UINT found = 0;
  HDC dc = GetDC(nullptr);
  if (!dc) return 0;
  LOGFONTW query = {};
  query.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc, &query, CollectFace, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

CSharedFont* CSharedFont::GetInstance() { return CSingletonT<CSharedFont>::GetInstance(); }

CSharedFont::CSharedFont() {
  face_ = ChooseFaceName(DetectFaceFlags(base::CurrentNtVersion().major, EnumerateInstalledFaces));
  font_ = CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS,
                      face_.c_str());
}

CSharedFont::~CSharedFont() {
  if (font_) DeleteObject(font_);
}
