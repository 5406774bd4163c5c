#include "ui/wizard_run.h"

#include <utility>

#include "base/window/app_module.h"
#include "base/window/message_loop.h"
#include "engine/process_state.h"
#include "ui/main_wnd.h"

bool RunWizard(int show_mode, WizardServices services, const std::function<bool()>& ready) {
  const bool silent = IsSilent();
  if (silent && ready && !ready()) return false;
  CMessageLoop loop;
  AppModule().AddMessageLoop(&loop);
  bool passed = true;
  {
    CMainWnd wnd(std::move(services));
    // The window sizes and centres itself while it is created.
    RECT rc = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
    const bool created = wnd.Create(nullptr, &rc, nullptr, WS_POPUP, WS_EX_LAYERED) != nullptr;
    // Drawn while hidden, handed to the screen once shown: Wine leaves a
    // layered window empty when its frame arrived before it was shown.
    if (created && !silent) wnd.ComposeFrame();
    if (!silent && ready) passed = ready();
    if (created && passed) {
      if (!silent) {
        wnd.ShowWindow(show_mode);
        wnd.PresentFrame();
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
  return passed;
}
