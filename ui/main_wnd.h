// The wizard's main window. Its pages, models and drawing are not built yet:
// today the window only answers a second setup copy and ends the wizard at
// once, so the setup run around it can be exercised end to end.
#pragma once

#include "base/window/window_impl.h"
#include "setup/instance_mutex.h"

class CMainWnd : public CWindowImpl<CMainWnd> {
 public:
  DECLARE_WND_CLASS_EX(kSetupWindowClass, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

  BEGIN_MSG_MAP(CMainWnd)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(kMsgActivateRunningSetup, OnActivateRequest)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()

 private:
  LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnActivateRequest(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL&);
  LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);
};
