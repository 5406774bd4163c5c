// Default styles of a CWindowImpl: a style of 0 passed to Create means "use
// the traits' style".
#pragma once

#include <windows.h>

template <DWORD kStyle = 0, DWORD kExStyle = 0>
class CWinTraits {
 public:
  static DWORD GetWndStyle(DWORD style) { return style == 0 ? kStyle : style; }
  static DWORD GetWndExStyle(DWORD exstyle) { return exstyle == 0 ? kExStyle : exstyle; }
};

using CControlWinTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0>;
using CFrameWinTraits = CWinTraits<WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                   WS_EX_APPWINDOW | WS_EX_WINDOWEDGE>;
