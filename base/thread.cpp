#include "base/thread.h"

#include <objbase.h>
#include <process.h>

namespace base {

CXThread::~CXThread() {
  Join();
  if (thread_) CloseHandle(thread_);
}

bool CXThread::Start(IThreadCallback* callback) {
  if (!callback) return false;
  if (thread_) {
    if (WaitForSingleObject(thread_, 0) != WAIT_OBJECT_0) return false;
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  callback_ = callback;
  InterlockedExchange(&running_, 1);
  thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadMain, this, 0, nullptr));
  if (!thread_) InterlockedExchange(&running_, 0);
  return thread_ != nullptr;
}

bool CXThread::Join(DWORD timeout_ms) {
  return !thread_ || WaitForSingleObject(thread_, timeout_ms) == WAIT_OBJECT_0;
}

unsigned __stdcall CXThread::ThreadMain(void* self) {
  auto* thread = static_cast<CXThread*>(self);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const unsigned result = thread->callback_->Run();
  InterlockedExchange(&thread->running_, 0);
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}

}  // namespace base
