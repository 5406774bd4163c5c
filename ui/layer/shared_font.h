// The setup's shared interface font: one process-wide GDI font whose face is
// the best Chinese-capable family installed.
#pragma once

#include <windows.h>

#include <string>

// Flags of the face table, lowest first in preference.
constexpr UINT kFaceMsYaHeiCn = 0x1;    // "微软雅黑"
constexpr UINT kFaceMsYaHei = 0x2;      // "Microsoft YaHei"
constexpr UINT kFaceMsYaHeiUi = 0x4;    // "Microsoft YaHei UI"
constexpr UINT kFaceSimSun = 0x8;       // "宋体"
constexpr UINT kFacePMingLiU = 0x10;    // "新細明體"
constexpr UINT kFaceTahoma = 0x20;      // "Tahoma"
constexpr UINT kAllFaces = 0x3F;

// The face name of one table flag, or null.
const wchar_t* FaceNameOfFlag(UINT flag);

// The face for a set of flags: the lowest present flag wins; "" for none.
const wchar_t* ChooseFaceName(UINT flags);

// Which table families are installed: before NT 6 only "宋体" is assumed and
// `enumerate` is not called; from NT 6 on it is whatever `enumerate` reports.
UINT DetectFaceFlags(DWORD nt_major, UINT (*enumerate)());

// Enumerates the installed families, matching full names without regard to
// case; stops once all six are found.
UINT EnumerateInstalledFaces();

class CSharedFont {
 public:
  // Created on first use under a lock.
  static CSharedFont* GetInstance();

  HFONT GetFont() const { return font_; }
  const std::wstring& GetFaceName() const { return face_; }

  CSharedFont();
  ~CSharedFont();
  CSharedFont(const CSharedFont&) = delete;
  CSharedFont& operator=(const CSharedFont&) = delete;

 private:
  std::wstring face_;
  HFONT font_ = nullptr;
};
