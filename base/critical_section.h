// Locks: the lock interface, the critical section behind it and its scoped
// holder.
#pragma once

#include <windows.h>

class ILocker {
 public:
  virtual ~ILocker() = default;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

class CCriticalSection : public ILocker {
 public:
  CCriticalSection() { InitializeCriticalSection(&cs_); }
  ~CCriticalSection() override { DeleteCriticalSection(&cs_); }
  CCriticalSection(const CCriticalSection&) = delete;
  CCriticalSection& operator=(const CCriticalSection&) = delete;

  void Lock() override { EnterCriticalSection(&cs_); }
  void Unlock() override { LeaveCriticalSection(&cs_); }

 private:
  CRITICAL_SECTION cs_;
};

// Holds a lock for the lifetime of the scope.
class CAutoLocker {
 public:
  explicit CAutoLocker(ILocker& locker) : locker_(locker) { locker_.Lock(); }
  ~CAutoLocker() { locker_.Unlock(); }
  CAutoLocker(const CAutoLocker&) = delete;
  CAutoLocker& operator=(const CAutoLocker&) = delete;

 private:
  ILocker& locker_;
};
