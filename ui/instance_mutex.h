// Named mutexes that mark a running setup. Handles stay open until released,
// so the name exists for exactly as long as this setup runs.
#pragma once

#include <windows.h>

#include <vector>

#include "base/critical_section.h"

constexpr wchar_t kSetupMutexName[] = L"PelorixSetupSingleMutex";
constexpr wchar_t kSetupWindowClass[] = L"PelorixSetupMainWndClassName";
// Posted to a running setup's window by a second copy: come to the front.
constexpr UINT kMsgActivateRunningSetup = 0x1400;

class CInstanceMutex {
 public:
  CInstanceMutex() = default;
  ~CInstanceMutex() { ReleaseAll(); }
  CInstanceMutex(const CInstanceMutex&) = delete;
  CInstanceMutex& operator=(const CInstanceMutex&) = delete;

  // True when this process is the only setup. When another holds the mutex,
  // its window (if found) is posted kMsgActivateRunningSetup and the result is
  // false. A mutex that cannot be created at all counts as being alone.
  bool AcquireSetupMutex();

  // Creates (or opens) a named mutex and keeps its handle. False on failure.
  bool CreateNamed(const wchar_t* name);

  // Creates a named mutex; when it already existed the handle is closed and
  // the window of class `window_class` is looked up into `*existing_window`.
  // Returns true when this process created it.
  bool CreateNamedOrFindWindow(const wchar_t* name, const wchar_t* window_class,
                               HWND* existing_window);

  // Closes every handle. Harmless when called again.
  void ReleaseAll();

 private:
  void Remember(HANDLE handle);

  CCriticalSection lock_;
  std::vector<HANDLE> handles_;
};
