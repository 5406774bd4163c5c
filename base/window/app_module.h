// CAppModule: the instance handles the framework creates windows and loads
// dialogs with, and which message loop runs on which thread.
//
// Reach it through AppModule(): it is created on first use, so it works when
// Install is loaded with LoadLibrary and its global constructors never ran.
#pragma once

#include <windows.h>

#include <map>

#include "base/critical_section.h"
#include "base/singleton.h"

class CMessageLoop;

class CAppModule {
 public:
  // Records the instance windows and resources belong to. Until then, and for
  // a null instance, that is the module holding this code. Returns S_OK.
  HRESULT Init(HINSTANCE instance);
  // Drops the framework's state: unregisters the window classes registered so
  // far, forgets every message loop and the instances given to Init.
  void Term();

  HINSTANCE GetModuleInstance() const;
  // Where dialog templates are loaded from: the module instance unless
  // SetResourceInstance named another (say, a language DLL).
  HINSTANCE GetResourceInstance() const;
  // Returns the instance set before, null if none was (null restores the
  // default).
  HINSTANCE SetResourceInstance(HINSTANCE instance);

  // Associates `loop` with the calling thread. FALSE when `loop` is null or
  // the thread already has one. The caller keeps ownership.
  BOOL AddMessageLoop(CMessageLoop* loop);
  // Removes the calling thread's loop; FALSE when it had none.
  BOOL RemoveMessageLoop();
  // The loop of `thread_id`, or null.
  CMessageLoop* GetMessageLoop(DWORD thread_id = ::GetCurrentThreadId()) const;

 private:
  friend class CSingletonT<CAppModule>;
  CAppModule() = default;

  HINSTANCE DefaultInstance() const;

  mutable CCriticalSection lock_;
  HINSTANCE module_instance_ = nullptr;
  HINSTANCE resource_instance_ = nullptr;
  std::map<DWORD, CMessageLoop*> loops_;
};

CAppModule& AppModule();
