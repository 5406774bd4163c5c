// The tooltip of a layered window: a topmost "tooltips_class32" window owned
// by it, made on first use, with one tool covering the whole window whose text
// follows the control under the pointer.
#pragma once

#include <windows.h>

#include <string>

class CLayerToolTip {
 public:
  CLayerToolTip() = default;
  ~CLayerToolTip() { Destroy(); }
  CLayerToolTip(const CLayerToolTip&) = delete;
  CLayerToolTip& operator=(const CLayerToolTip&) = delete;

  // A text different from the current one replaces the tool; an empty text
  // hides it. False when the tooltip window could not be made.
  bool Show(HWND owner, const wchar_t* text);
  void Hide();
  // Passes a mouse message of the owner on to the tooltip.
  void Relay(HWND owner, UINT msg, WPARAM wparam, LPARAM lparam);
  void Destroy();

  HWND GetHwnd() const { return tip_; }
  const std::wstring& GetText() const { return text_; }

 private:
  bool Ensure(HWND owner);

  HWND tip_ = nullptr;
  HWND owner_ = nullptr;
  std::wstring text_;
};
