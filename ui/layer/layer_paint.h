// Drawing primitives shared by the layer controls: fills and text with the
// toolkit's alpha, GDI+ string formats from the toolkit's text flags.
#pragma once

#include <windows.h>

#include <string>

#include "ui/layer/gdiplus_api.h"

// Text format flags used by every text the toolkit draws.
constexpr UINT kTextVCenter = 0x1;
constexpr UINT kTextBottom = 0x2;
constexpr UINT kTextHCenter = 0x10;
constexpr UINT kTextRight = 0x20;
constexpr UINT kTextEllipsis = 0x100;
constexpr UINT kTextEllipsisWord = 0x200;
constexpr UINT kTextNoClip = 0x400;
constexpr UINT kTextNoWrap = 0x1000;

// The process-wide text rendering switch: each composition sets it from its
// window's text-smoothing flag; while set, text is anti-aliased and grid-fit.
void SetLayerTextSmoothing(bool on);
bool GetLayerTextSmoothing();

// A GDI+ graphics on `dc` with the current text rendering applied. False when
// GDI+ is missing or refuses the DC.
bool OpenLayerGraphics(HDC dc, gdip::Graphics* graphics);

// A string format for the toolkit's text flags, plus GDI+ format flags of
// its own (`extra`, e.g. kFormatMeasureTrailingSpaces).
bool MakeLayerStringFormat(UINT flags, gdip::StringFormat* format, int extra = 0);

// Fills `rect` with `color` at the toolkit's alpha; kNoColor paints nothing.
void FillLayerRect(HDC dc, const RECT& rect, COLORREF color);

// Draws `text` into `rect` with a solid brush of `color` at the toolkit's
// alpha. Nothing is drawn without text, font or colour.
void DrawLayerText(HDC dc, const std::wstring& text, gdip::GpFont* font, const RECT& rect,
                   COLORREF color, UINT flags);

// A one-pixel frame just inside `rect` (the focus rectangle of groups).
void DrawLayerFocusFrame(HDC dc, const RECT& rect);
