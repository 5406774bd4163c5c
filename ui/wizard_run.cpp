#include "ui/wizard_run.h"

#include "base/window/app_module.h"
#include "base/window/message_loop.h"
#include "engine/process_state.h"
#include "ui/main_wnd.h"

void RunWizard(int show_mode, CInstanceMutex* mutex) {
  CMessageLoop loop;
  AppModule().AddMessageLoop(&loop);
  {
    CMainWnd wnd(ProcessWizardServices(mutex));
    // The window sizes and centres itself while it is created.
    RECT rc = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
    if (wnd.Create(nullptr, &rc, nullptr, WS_POPUP, WS_EX_LAYERED)) {
      if (!IsSilent()) {
        wnd.ShowWindow(show_mode);
        BringWindowToTop(wnd.m_hWnd);
        // Topmost and back again: in front of other windows without staying there.
        SetWindowPos(wnd.m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetWindowPos(wnd.m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
      }
      loop.Run();
    }
    if (wnd.m_hWnd) wnd.DestroyWindow();
  }
  AppModule().RemoveMessageLoop();
}
