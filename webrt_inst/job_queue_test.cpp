#include "webrt_inst/job_queue.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "base/scoped_handle.h"

namespace {

struct Job {
  int id = 0;
};

// Records what ran where; a job with id < 0 blocks until `release` is set.
struct Recorder {
  Recorder()
      : started(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        release(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        done(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  void Run(Job& job) {
    {
      CAutoLocker lock(lock_);
      ids.push_back(job.id);
      threads.push_back(GetCurrentThreadId());
    }
    if (job.id < 0) {
      SetEvent(started.Get());
      WaitForSingleObject(release.Get(), 10000);
    }
    SetEvent(done.Get());
  }
  std::vector<int> Ids() {
    CAutoLocker lock(lock_);
    return ids;
  }
  CCriticalSection lock_;
  std::vector<int> ids;
  std::vector<DWORD> threads;
  base::ScopedHandle started, release, done;
};

bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    Sleep(10);
  }
  return condition();
}

TEST(CJobQueue, RunsJobsInOrderOnOneWorkerThread) {
  Recorder recorder;
  CJobQueue<Job> queue([&](Job& job) { recorder.Run(job); });
  Job blocker{-1};
  ASSERT_TRUE(queue.Queue(blocker));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(recorder.started.Get(), 5000));
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(queue.Queue(Job{i}));
  SetEvent(recorder.release.Get());
  ASSERT_TRUE(WaitUntil([&] { return recorder.Ids().size() == 4; }));
  EXPECT_EQ((std::vector<int>{-1, 1, 2, 3}), recorder.Ids());
  queue.Stop();
  for (DWORD id : recorder.threads) {
    EXPECT_NE(GetCurrentThreadId(), id);
    EXPECT_EQ(recorder.threads[0], id);
  }
}

TEST(CJobQueue, StartsANewWorkerAfterTheQueueRanDry) {
  Recorder recorder;
  CJobQueue<Job> queue([&](Job& job) { recorder.Run(job); });
  ASSERT_TRUE(queue.Queue(Job{1}));
  ASSERT_TRUE(WaitUntil([&] { return recorder.Ids().size() == 1; }));
  Sleep(50);  // the first worker finds the queue empty and ends
  ASSERT_TRUE(queue.Queue(Job{2}));
  ASSERT_TRUE(WaitUntil([&] { return recorder.Ids().size() == 2; }));
  EXPECT_EQ((std::vector<int>{1, 2}), recorder.Ids());
}

TEST(CJobQueue, StopDiscardsQueuedJobsWaitsForTheRunningOneAndRefusesMore) {
  Recorder recorder;
  CJobQueue<Job> queue([&](Job& job) { recorder.Run(job); });
  ASSERT_TRUE(queue.Queue(Job{-1}));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(recorder.started.Get(), 5000));
  ASSERT_TRUE(queue.Queue(Job{7}));

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    queue.Stop();
    stopped = true;
  });
  Sleep(200);
  EXPECT_FALSE(stopped) << "Stop returned while a job was still running";
  SetEvent(recorder.release.Get());
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ((std::vector<int>{-1}), recorder.Ids());
  EXPECT_FALSE(queue.Queue(Job{8}));
  Sleep(50);
  EXPECT_EQ((std::vector<int>{-1}), recorder.Ids());
}

TEST(CJobQueue, StopFromInsideAJobDoesNotDeadlock) {
  CJobQueue<Job>* self = nullptr;
  base::ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  CJobQueue<Job> queue([&](Job&) {
    self->Stop();
    SetEvent(done.Get());
  });
  self = &queue;
  ASSERT_TRUE(queue.Queue(Job{1}));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(done.Get(), 5000));
}

TEST(CJobQueue, WorkerThatOutlivesStopsWaitNeverSeesTheQueueFreed) {
  Recorder recorder;
  alignas(CJobQueue<Job>) unsigned char storage[sizeof(CJobQueue<Job>)];
  auto* queue = new (storage) CJobQueue<Job>([&](Job& job) { recorder.Run(job); }, 100);
  ASSERT_TRUE(queue->Queue(Job{-1}));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(recorder.started.Get(), 5000));
  ASSERT_TRUE(queue->Queue(Job{2}));
  base::ScopedHandle worker(
      OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, queue->worker_thread_id()));
  ASSERT_TRUE(worker.IsValid());

  const DWORD start = GetTickCount();
  queue->~CJobQueue();
  EXPECT_LT(GetTickCount() - start, 3000u) << "the shortened wait was not used";
  // What a reuse of the queue's memory would leave there.
  memset(storage, 0xDD, sizeof(storage));
  SetEvent(recorder.release.Get());

  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.Get(), 5000)) << "worker stuck in freed queue";
  DWORD code = STILL_ACTIVE;
  EXPECT_TRUE(GetExitCodeThread(worker.Get(), &code));
  EXPECT_EQ(0u, code);
  EXPECT_EQ((std::vector<int>{-1}), recorder.Ids());
}

}  // namespace
