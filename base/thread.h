// A worker thread that runs one callback object's Run.
#pragma once

#include <windows.h>

namespace base {

class IThreadCallback {
 public:
  virtual unsigned Run() = 0;

 protected:
  ~IThreadCallback() = default;
};

class CXThread {
 public:
  CXThread() = default;
  CXThread(const CXThread&) = delete;
  CXThread& operator=(const CXThread&) = delete;
  // Joins a thread still running: the callback must outlive its thread.
  ~CXThread();

  // Starts `callback->Run()` on a new thread with COM initialised
  // (apartment). False when a thread is running already or cannot be made.
  bool Start(IThreadCallback* callback);
  // Waits for the thread; true when it has ended (or never started).
  bool Join(DWORD timeout_ms = INFINITE);
  // Set while Run is executing.
  bool IsRunning() const { return running_ != 0; }

 private:
  static unsigned __stdcall ThreadMain(void* self);

  IThreadCallback* callback_ = nullptr;
  HANDLE thread_ = nullptr;
  volatile LONG running_ = 0;
};

}  // namespace base
