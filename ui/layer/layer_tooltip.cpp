#include "ui/layer/layer_tooltip.h"

#include <commctrl.h>

#include "base/system_library.h"

namespace {

// comctl32 is bound at run time; its classes exist once it is initialised.
bool InitToolTipClass() {
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = base::GetSystemProcAs<InitFn>(L"comctl32.dll", "InitCommonControlsEx");
  if (!init) return false;
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
  return init(&icc) != FALSE;
}

TOOLINFOW ToolFor(HWND owner, wchar_t* text) {
  TOOLINFOW info = {};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_IDISHWND;  // mouse messages are relayed by the owner
  info.hwnd = owner;
  info.uId = reinterpret_cast<UINT_PTR>(owner);
  info.lpszText = text;
  return info;
}

}  // namespace

bool CLayerToolTip::Ensure(HWND owner) {
  if (tip_ && owner_ == owner && ::IsWindow(tip_)) return true;
  Destroy();
  if (!InitToolTipClass()) return false;
  tip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                           WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, nullptr, nullptr);
  if (!tip_) return false;
  owner_ = owner;
  ::SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, 300);
  ::SendMessageW(tip_, TTM_ACTIVATE, TRUE, 0);
  return true;
}

bool CLayerToolTip::Show(HWND owner, const wchar_t* text) {
  if (!text || !*text) {
    Hide();
    return true;
  }
  if (!Ensure(owner)) return false;
  if (text_ == text) return true;
  TOOLINFOW info = ToolFor(owner_, nullptr);
  if (!text_.empty()) ::SendMessageW(tip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  text_ = text;
  info = ToolFor(owner_, &text_[0]);
  return ::SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != FALSE;
}

void CLayerToolTip::Hide() {
  if (tip_ && !text_.empty()) {
    TOOLINFOW info = ToolFor(owner_, nullptr);
    ::SendMessageW(tip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  }
  text_.clear();
}

void CLayerToolTip::Relay(HWND owner, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (!tip_) return;
  MSG m = {owner, msg, wparam, lparam, static_cast<DWORD>(::GetMessageTime()), {}};
  const DWORD pos = ::GetMessagePos();
  m.pt = {static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
  ::SendMessageW(tip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
}

void CLayerToolTip::Destroy() {
  if (tip_ && ::IsWindow(tip_)) ::DestroyWindow(tip_);
  tip_ = nullptr;
  owner_ = nullptr;
  text_.clear();
}
