// CJobQueue: jobs run one at a time, in order, on a worker thread that exists
// only while there is work. The download worker and the install worker are
// both one of these.
#pragma once

#include <windows.h>
#include <process.h>

#include <deque>
#include <functional>
#include <memory>
#include <utility>

#include "base/critical_section.h"
#include "base/scoped_handle.h"
#include "log/logger.h"

template <class Job>
class CJobQueue {
 public:
  using Runner = std::function<void(Job&)>;
  static constexpr DWORD kStopWaitMs = 0xFFFFFF;

  // `stop_wait_ms`: how long Stop waits for the running job.
  explicit CJobQueue(Runner runner, DWORD stop_wait_ms = kStopWaitMs)
      : state_(std::make_shared<State>(std::move(runner))), stop_wait_ms_(stop_wait_ms) {}
  ~CJobQueue() { Stop(); }
  CJobQueue(const CJobQueue&) = delete;
  CJobQueue& operator=(const CJobQueue&) = delete;

  // Appends a job and starts the worker when none is running. False after
  // Stop, or when no thread could be started (the job is then dropped).
  bool Queue(Job job) {
    State& state = *state_;
    CAutoLocker lock(state.lock);
    if (state.stopping) return false;
    state.jobs.push_back(std::move(job));
    if (state.worker_running) return true;
    // A worker that found the queue empty has finished its last job and is
    // only returning; join it before its successor starts.
    if (state.worker.IsValid()) {
      WaitForSingleObject(state.worker.Get(), INFINITE);
      state.worker.Reset();
    }
    if (!StartWorker()) {
      state.jobs.pop_back();
      return false;
    }
    return true;
  }

  // Discards queued jobs, refuses new ones and waits for the running job to
  // end (not when called from that job itself). A worker that outlives the
  // wait keeps the queue's state alive until it returns.
  void Stop() {
    base::ScopedHandle worker;
    DWORD worker_id = 0;
    {
      CAutoLocker lock(state_->lock);
      state_->stopping = true;
      state_->jobs.clear();
      worker = std::move(state_->worker);
      worker_id = state_->worker_id;
    }
    if (worker.IsValid() && worker_id != GetCurrentThreadId() &&
        WaitForSingleObject(worker.Get(), stop_wait_ms_) == WAIT_TIMEOUT) {
      LOG_ERR << "job worker " << worker_id << " still running after " << stop_wait_ms_
              << " ms; left to end on its own.";
    }
  }

  // The running or last worker's thread id (0 before the first job).
  DWORD worker_thread_id() {
    CAutoLocker lock(state_->lock);
    return state_->worker_id;
  }

 private:
  // Everything the worker touches; the worker holds its own reference.
  struct State {
    explicit State(Runner r) : runner(std::move(r)) {}
    Runner runner;
    CCriticalSection lock;
    std::deque<Job> jobs;
    base::ScopedHandle worker;
    DWORD worker_id = 0;
    bool worker_running = false;
    bool stopping = false;
  };

  struct StartContext {
    std::shared_ptr<State> state;
    HANDLE started;
  };

  // Called under the lock. The new thread confirms it runs before this
  // returns, so a failed start is seen here and not as a silently lost job.
  bool StartWorker() {
    base::ScopedHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!started.IsValid()) return false;
    StartContext context = {state_, started.Get()};
    unsigned id = 0;
    base::ScopedHandle thread(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CJobQueue::ThreadMain, &context, 0, &id)));
    if (!thread.IsValid()) return false;
    const HANDLE waits[] = {started.Get(), thread.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return false;
    state_->worker = std::move(thread);
    state_->worker_id = id;
    state_->worker_running = true;
    return true;
  }

  static unsigned __stdcall ThreadMain(void* param) {
    auto* context = static_cast<StartContext*>(param);
    std::shared_ptr<State> state = context->state;
    SetEvent(context->started);  // `context` is gone after this
    Loop(*state);
    return 0;
  }

  static void Loop(State& state) {
    for (;;) {
      Job job;
      {
        CAutoLocker lock(state.lock);
        if (state.jobs.empty()) {
          state.worker_running = false;
          return;
        }
        job = std::move(state.jobs.front());
        state.jobs.pop_front();
      }
      state.runner(job);
    }
  }

  std::shared_ptr<State> state_;
  DWORD stop_wait_ms_;
};
