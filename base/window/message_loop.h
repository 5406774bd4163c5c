// CMessageLoop: a thread's GetMessage loop with message filters (which see
// every message before it is dispatched, e.g. for IsDialogMessage or
// accelerators) and idle handlers (which run when the queue runs dry).
#pragma once

#include <windows.h>

#include <vector>

class CMessageFilter {
 public:
  // TRUE consumes the message: it is neither translated nor dispatched.
  virtual BOOL PreTranslateMessage(MSG* msg) = 0;

 protected:
  ~CMessageFilter() = default;
};

class CIdleHandler {
 public:
  // Called once per idle period; the result is not used.
  virtual BOOL OnIdle() = 0;

 protected:
  ~CIdleHandler() = default;
};

class CMessageLoop {
 public:
  CMessageLoop() = default;
  virtual ~CMessageLoop() = default;
  CMessageLoop(const CMessageLoop&) = delete;
  CMessageLoop& operator=(const CMessageLoop&) = delete;

  // Add fails for null and for a handler already present; Remove fails for
  // one not present. Both are safe to call from inside a filter or handler;
  // the loop does not own what it is given.
  BOOL AddMessageFilter(CMessageFilter* filter);
  BOOL RemoveMessageFilter(CMessageFilter* filter);
  BOOL AddIdleHandler(CIdleHandler* handler);
  BOOL RemoveIdleHandler(CIdleHandler* handler);

  // Runs until WM_QUIT and returns its wParam. Whenever the queue is empty
  // and idle processing is armed, the idle handlers run once and disarm it;
  // any message for which IsIdleMessage is TRUE arms it again.
  int Run();

  // FALSE for the messages that arrive continuously without anything having
  // changed (mouse moves, paints, the caret-blink timer 0x118), which must not
  // re-arm idle processing or it would run almost all the time.
  static BOOL IsIdleMessage(const MSG* msg);

  // Offers `msg` to the filters, most recently added first; TRUE if one
  // consumed it.
  virtual BOOL PreTranslateMessage(MSG* msg);
  // Runs every idle handler once. Returns FALSE: idle processing stops until
  // re-armed. `idle_count` counts the calls since the last arming.
  virtual BOOL OnIdle(int idle_count);

  MSG m_msg = {};

 private:
  // Removal during a pass leaves a null slot that is compacted once no pass
  // is running, so the indices of a pass in progress stay valid.
  template <class T>
  struct HandlerList {
    std::vector<T*> items;
    int passes = 0;
    BOOL Add(T* item);
    BOOL Remove(T* item);
    void Compact();
  };

  HandlerList<CMessageFilter> filters_;
  HandlerList<CIdleHandler> idle_handlers_;
};
