// The system's pending rename list for tests that add to it: the tests share
// their machine, so what they add must go again.
#pragma once

#include <windows.h>

#include <vector>

namespace pending_test {

constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// The value's raw bytes; false when it is absent.
inline bool ReadPending(std::vector<BYTE>* data) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  bool ok = RegQueryValueExW(key, kPendingValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
  if (ok) {
    data->resize(size);
    ok = RegQueryValueExW(key, kPendingValue, nullptr, nullptr, data->data(), &size) == ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return ok;
}

// Puts the list back, or removes it, as it was when the object was made.
class ScopedPendingRenames {
 public:
  ScopedPendingRenames() { had_ = ReadPending(&saved_); }
  ~ScopedPendingRenames() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (had_) {
      RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, saved_.data(), static_cast<DWORD>(saved_.size()));
    } else {
      RegDeleteValueW(key, kPendingValue);
    }
    RegCloseKey(key);
  }
  ScopedPendingRenames(const ScopedPendingRenames&) = delete;
  ScopedPendingRenames& operator=(const ScopedPendingRenames&) = delete;

 private:
  bool had_ = false;
  std::vector<BYTE> saved_;
};

}  // namespace pending_test
