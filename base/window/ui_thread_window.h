// CUIThreadWindow: a hidden window on the user-interface thread through which
// other threads run bound calls there. The sender blocks in SendMessageW until
// the call has run, so arguments on its stack stay valid and answers written
// through them are visible to it afterwards. Sent messages are also
// dispatched by modal loops (message boxes), so a call is never held up by one.
#pragma once

#include <windows.h>

#include "base/window/simple_bind.h"
#include "base/window/window_impl.h"

// wParam: ISimpleBind* owned by the sender; lParam: 0. Answers 1 when the call
// ran, 0 for a null call.
constexpr UINT kMsgRunBoundCall = 3002;

class CUIThreadWindow : public CWindowImpl<CUIThreadWindow, CWindow, CWinTraits<WS_POPUP, 0>> {
 public:
  BEGIN_MSG_MAP(CUIThreadWindow)
    MESSAGE_HANDLER(kMsgRunBoundCall, OnRunBoundCall)
  END_MSG_MAP()

 private:
  LRESULT OnRunBoundCall(UINT, WPARAM wparam, LPARAM, BOOL&);
};

// Creates the process-wide dispatcher on the calling thread, which becomes the
// thread calls run on. Returns 1 when it exists or was created, else 0 (a
// later call tries again).
int CreateUIThreadWindow();

// The dispatcher's window, or null while there is none.
HWND UIThreadWindowHandle();

// Runs `call` on the dispatcher's thread and returns once it has run (TRUE).
// Without a dispatcher the call is dropped and FALSE returned; the caller
// carries on either way.
BOOL RunOnUIThread(ISimpleBind* call);

// Destroys the dispatcher (its thread only); calls are dropped again
// afterwards. For tear-down in tests: the setup keeps it to the end.
void DestroyUIThreadWindow();
