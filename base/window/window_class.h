// Window classes of CWindowImpl types, registered on first use.
//
// DECLARE_WND_CLASS_EX(name, style, bkgnd) in a class body gives the type its
// class: `bkgnd` is a COLOR_* index (-1: no background brush). A null name
// asks for a generated one, "ATL:" followed by the address of the class info
// in hex, which is unique per type within the process. DECLARE_WND_CLASS(name)
// uses CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS and COLOR_WINDOW.
#pragma once

#include <windows.h>

// Windows of classes registered here carry one pointer-sized slot at this
// offset; the window procedure keeps the owning object in it.
constexpr int kWndObjectSlot = 0;

// An aggregate so that the function-local instance made by the macros is
// initialised at compile time, without a guard.
struct CWndClassInfo {
  const wchar_t* name;
  UINT style;
  int background;
  ATOM atom;
  wchar_t generated_name[5 + 2 * sizeof(void*)];

  // Registers the class with the module instance once; later calls return the
  // same atom. Returns 0 on failure (GetLastError says why) and then tries
  // again on the next call.
  ATOM Register(WNDPROC window_proc);
  // The name the class is (or will be) registered under.
  const wchar_t* ClassName();
};

// Unregisters every class registered through CWndClassInfo::Register and
// forgets its atom, so that the next use registers it again. A class that
// still has windows stays registered and keeps its atom. Returns FALSE if any
// class stayed.
BOOL UnregisterWndClasses();

#define DECLARE_WND_CLASS_EX(WndClassName, style, bkgnd)                     \
  static CWndClassInfo& GetWndClassInfo() {                                  \
    static CWndClassInfo wc = {(WndClassName), (style), (bkgnd), 0, {}};     \
    return wc;                                                               \
  }

#define DECLARE_WND_CLASS(WndClassName) \
  DECLARE_WND_CLASS_EX(WndClassName, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)
