// CJobQueue: jobs run one at a time, in order, on a worker thread that exists
// only while there is work. The download worker and the install worker are
// both one of these.
#pragma once

#include <windows.h>
#include <process.h>

#include <deque>
#include <functional>
#include <utility>

#include "base/critical_section.h"
#include "base/scoped_handle.h"

template <class Job>
class CJobQueue {
 public:
  using Runner = std::function<void(Job&)>;

  explicit CJobQueue(Runner runner) : runner_(std::move(runner)) {}
  ~CJobQueue() { Stop(); }
  CJobQueue(const CJobQueue&) = delete;
  CJobQueue& operator=(const CJobQueue&) = delete;

  // Appends a job and starts the worker when none is running. False after
  // Stop, or when no thread could be started (the job is then dropped).
  bool Queue(Job job) {
    CAutoLocker lock(lock_);
    if (stopping_) return false;
    jobs_.push_back(std::move(job));
    if (worker_running_) return true;
    // A worker that found the queue empty has finished its last job and is
    // only returning; join it before its successor starts.
    if (worker_.IsValid()) {
      WaitForSingleObject(worker_.Get(), INFINITE);
      worker_.Reset();
    }
    if (!StartWorker()) {
      jobs_.pop_back();
      return false;
    }
    return true;
  }

  // Discards queued jobs, refuses new ones and waits for the running job to
  // end (not when called from that job itself).
  void Stop() {
    base::ScopedHandle worker;
    DWORD worker_id = 0;
    {
      CAutoLocker lock(lock_);
      stopping_ = true;
      jobs_.clear();
      worker = std::move(worker_);
      worker_id = worker_id_;
    }
    if (worker.IsValid() && worker_id != GetCurrentThreadId()) {
      WaitForSingleObject(worker.Get(), kStopWaitMs);
    }
  }

  // The running or last worker's thread id (0 before the first job).
  DWORD worker_thread_id() {
    CAutoLocker lock(lock_);
    return worker_id_;
  }

 private:
  static constexpr DWORD kStopWaitMs = 0xFFFFFF;

  struct StartContext {
    CJobQueue* queue;
    HANDLE started;
  };

  // Called under the lock. The new thread confirms it runs before this
  // returns, so a failed start is seen here and not as a silently lost job.
  bool StartWorker() {
    base::ScopedHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!started.IsValid()) return false;
    StartContext context = {this, started.Get()};
    unsigned id = 0;
    base::ScopedHandle thread(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CJobQueue::ThreadMain, &context, 0, &id)));
    if (!thread.IsValid()) return false;
    const HANDLE waits[] = {started.Get(), thread.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return false;
    worker_ = std::move(thread);
    worker_id_ = id;
    worker_running_ = true;
    return true;
  }

  static unsigned __stdcall ThreadMain(void* param) {
    auto* context = static_cast<StartContext*>(param);
    CJobQueue* queue = context->queue;
    SetEvent(context->started);  // `context` is gone after this
    queue->Loop();
    return 0;
  }

  void Loop() {
    for (;;) {
      Job job;
      {
        CAutoLocker lock(lock_);
        if (jobs_.empty()) {
          worker_running_ = false;
          return;
        }
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      runner_(job);
    }
  }

  Runner runner_;
  CCriticalSection lock_;
  std::deque<Job> jobs_;
  base::ScopedHandle worker_;
  DWORD worker_id_ = 0;
  bool worker_running_ = false;
  bool stopping_ = false;
};
