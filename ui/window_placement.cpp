#include "ui/window_placement.h"

POINT CenteredPosition(const RECT& window, const RECT* owner, const RECT& work) {
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  const RECT& over = owner ? *owner : work;
  POINT pos = {over.left + ((over.right - over.left) - width) / 2,
               over.top + ((over.bottom - over.top) - height) / 2};
  if (pos.x + width > work.right) pos.x = work.right - width;
  if (pos.y + height > work.bottom) pos.y = work.bottom - height;
  if (pos.x < work.left) pos.x = work.left;
  if (pos.y < work.top) pos.y = work.top;
  return pos;
}

BOOL CenterWindowInWorkArea(HWND hwnd, HWND owner) {
  RECT window;
  if (!GetWindowRect(hwnd, &window)) return FALSE;
  const bool over_owner = owner && IsWindowVisible(owner) && !IsIconic(owner);
  RECT owner_rect = {};
  if (over_owner && !GetWindowRect(owner, &owner_rect)) return FALSE;
  MONITORINFO info = {sizeof(info)};
  if (!GetMonitorInfoW(MonitorFromWindow(over_owner ? owner : hwnd, MONITOR_DEFAULTTONEAREST),
                       &info))
    return FALSE;
  const POINT pos = CenteredPosition(window, over_owner ? &owner_rect : nullptr, info.rcWork);
  return SetWindowPos(hwnd, nullptr, pos.x, pos.y, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
