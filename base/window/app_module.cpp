#include "base/window/app_module.h"

#include "base/window/window_class.h"

CAppModule& AppModule() { return *CSingletonT<CAppModule>::GetInstance(); }

HRESULT CAppModule::Init(HINSTANCE instance) {
  CAutoLocker lock(lock_);
  module_instance_ = instance;
  return S_OK;
}

void CAppModule::Term() {
  // Not under lock_: registration asks for the module instance while holding
  // the class registry's lock.
  UnregisterWndClasses();
  CAutoLocker lock(lock_);
  module_instance_ = nullptr;
  resource_instance_ = nullptr;
  loops_.clear();
}

HINSTANCE CAppModule::DefaultInstance() const {
  // The EXE or DLL this code is linked into, which may not be the process's
  // main module.
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&AppModule), &module);
  return module;
}

HINSTANCE CAppModule::GetModuleInstance() const {
  CAutoLocker lock(lock_);
  return module_instance_ ? module_instance_ : DefaultInstance();
}

HINSTANCE CAppModule::GetResourceInstance() const {
  CAutoLocker lock(lock_);
  if (resource_instance_) return resource_instance_;
  return module_instance_ ? module_instance_ : DefaultInstance();
}

HINSTANCE CAppModule::SetResourceInstance(HINSTANCE instance) {
  CAutoLocker lock(lock_);
  HINSTANCE previous = resource_instance_;
  resource_instance_ = instance;
  return previous;
}

BOOL CAppModule::AddMessageLoop(CMessageLoop* loop) {
  if (!loop) return FALSE;
  CAutoLocker lock(lock_);
  return loops_.emplace(::GetCurrentThreadId(), loop).second;
}

BOOL CAppModule::RemoveMessageLoop() {
  CAutoLocker lock(lock_);
  return loops_.erase(::GetCurrentThreadId()) == 1;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD thread_id) const {
  CAutoLocker lock(lock_);
  auto it = loops_.find(thread_id);
  return it == loops_.end() ? nullptr : it->second;
}
