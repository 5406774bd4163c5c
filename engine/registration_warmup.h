// Readies, on a thread of its own while the payload is placed, what the
// registration steps at the end of an install will use: the Task Scheduler
// service and its connection, the shell link object and the shell folders.
// The first use of each loads libraries and starts services; done here it is
// off the install's critical path. Nothing on the machine changes: the steps
// themselves still do all their work, in their order.
#pragma once

#include "base/thread.h"

namespace engine {

class CRegistrationWarmup : private base::IThreadCallback {
 public:
  CRegistrationWarmup() = default;
  // Joins the thread.
  ~CRegistrationWarmup() = default;
  CRegistrationWarmup(const CRegistrationWarmup&) = delete;
  CRegistrationWarmup& operator=(const CRegistrationWarmup&) = delete;

  // At most one warm-up per object; a second call does nothing.
  void Start();
  // Waits until the warm-up has ended (at once when none was started).
  void Wait() { thread_.Join(INFINITE); }
  bool IsRunning() const { return thread_.IsRunning(); }

 private:
  unsigned Run() override;

  base::CXThread thread_;
  bool started_ = false;
};

}  // namespace engine
