#include "webrt_inst/run_task_in_ui_thread.h"

#include <memory>
#include <utility>

namespace webrt {

bool RunTaskInUiThread::PostTask(Task task) {
  auto owned = std::make_unique<Task>(std::move(task));
  if (!PostMessageW(TaskWindow(), kMsgRunTask, reinterpret_cast<WPARAM>(owned.get()), 0)) {
    return false;
  }
  owned.release();  // the window's handler frees it
  return true;
}

LRESULT RunTaskInUiThread::OnRunTask(UINT, WPARAM wparam, LPARAM, BOOL&) {
  std::unique_ptr<Task> task(reinterpret_cast<Task*>(wparam));
  if (task && *task) (*task)();
  return 0;
}

void RunTaskInUiThread::DiscardPendingTasks() {
  MSG msg;
  while (PeekMessageW(&msg, TaskWindow(), kMsgRunTask, kMsgRunTask, PM_REMOVE)) {
    delete reinterpret_cast<Task*>(msg.wParam);
  }
}

}  // namespace webrt
