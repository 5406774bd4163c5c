// RunTaskInUiThread: lets worker threads hand a piece of work to the thread
// that owns a window, through message 2180 (wParam = the task).
#pragma once

#include <windows.h>

#include <functional>

namespace webrt {

constexpr UINT kMsgRunTask = 2180;

class RunTaskInUiThread {
 public:
  using Task = std::function<void()>;

  // Posts `task` to the window; false when the window is gone (the task is
  // then dropped). May be called from any thread.
  bool PostTask(Task task);

 protected:
  ~RunTaskInUiThread() = default;

  // The window the tasks go to.
  virtual HWND TaskWindow() const = 0;

  // The handler of message 2180; runs and frees the task.
  LRESULT OnRunTask(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);

  // Frees tasks still queued for the window without running them; for its
  // WM_DESTROY, once nothing posts any more.
  void DiscardPendingTasks();
};

}  // namespace webrt
