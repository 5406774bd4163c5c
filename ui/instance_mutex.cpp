#include "ui/instance_mutex.h"

#include <utility>

bool CInstanceMutex::AcquireSetupMutex() {
  HANDLE handle = CreateMutexW(nullptr, TRUE, kSetupMutexName);
  if (!handle) return true;  // cannot tell; do not lock the user out
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(handle);
    // The running setup's wizard is the window that answers.
    if (HWND other = FindWindowExW(nullptr, nullptr, kSetupWindowClass, nullptr)) {
      PostMessageW(other, kMsgActivateRunningSetup, 0, 0);
    }
    return false;
  }
  Remember(handle);
  return true;
}

bool CInstanceMutex::CreateNamed(const wchar_t* name) {
  HANDLE handle = CreateMutexW(nullptr, FALSE, name);
  if (!handle) return false;
  Remember(handle);
  return true;
}

bool CInstanceMutex::CreateNamedOrFindWindow(const wchar_t* name, const wchar_t* window_class,
                                             HWND* existing_window) {
  if (existing_window) *existing_window = nullptr;
  HANDLE handle = CreateMutexW(nullptr, FALSE, name);
  if (!handle) return false;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(handle);
    if (existing_window) *existing_window = FindWindowExW(nullptr, nullptr, window_class, nullptr);
    return false;
  }
  Remember(handle);
  return true;
}

void CInstanceMutex::ReleaseAll() {
  std::vector<HANDLE> handles;
  {
    CAutoLocker lock(lock_);
    handles.swap(handles_);
  }
  // Closed outside the lock: closing may take time and needs no protection.
  for (HANDLE h : handles) CloseHandle(h);
}

void CInstanceMutex::Remember(HANDLE handle) {
  CAutoLocker lock(lock_);
  handles_.push_back(handle);
}
