// Process-wide objects created on first use: test, lock, test again, create,
// publish. The lock is a function-local static so that it works even when the
// module's global constructors never ran (Install loaded by another program).
#pragma once

#include <atomic>

#include "base/critical_section.h"

template <class T>
class CSingletonT {
 public:
  static T* GetInstance() {
    T* p = instance_.load(std::memory_order_acquire);
    if (p) return p;
    CAutoLocker lock(Lock());
    p = instance_.load(std::memory_order_relaxed);
    if (!p) {
      p = new T();
      std::atomic_thread_fence(std::memory_order_seq_cst);
      instance_.store(p, std::memory_order_release);
    }
    return p;
  }

  // Destroys the instance; only tests and explicit tear-down call this.
  static void Release() {
    CAutoLocker lock(Lock());
    delete instance_.exchange(nullptr);
  }

 private:
  static CCriticalSection& Lock() {
    static CCriticalSection lock;
    return lock;
  }
  static inline std::atomic<T*> instance_{nullptr};
};
