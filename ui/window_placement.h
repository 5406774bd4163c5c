// Where the setup's top-level windows open: centred over their owner, or in
// the work area of the nearest monitor, and kept inside that work area.
#pragma once

#include <windows.h>

// Top-left corner for a window of `window`'s size centred over `owner` (null:
// over `work`), then moved left or up where it would pass the right or bottom
// edge of `work`, and finally right or down where its top-left corner would
// lie outside it.
POINT CenteredPosition(const RECT& window, const RECT* owner, const RECT& work);

// Moves `hwnd` to CenteredPosition: over `owner` when it is visible and not
// minimised, else over the work area of the monitor nearest to the window.
// Returns FALSE when the window could not be measured or moved.
BOOL CenterWindowInWorkArea(HWND hwnd, HWND owner);
