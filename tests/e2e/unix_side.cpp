#include "tests/e2e/unix_side.h"

#include <windows.h>

namespace e2e {

// Wine gives no usable handle for a Unix process, so the script leaves its
// status in C:\ (whatever C: is when it ends).
bool Sh(const std::wstring& script) {
  const wchar_t kStatus[] = L"C:\\sh-status.txt";
  DeleteFileW(kStatus);
  std::wstring cmd = L"/bin/sh -c \"(" + script + L"); echo $? > $WINEPREFIX/dosdevices/c:/sh-status.txt\"";
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  // Named by its Unix path: a bare "/bin/sh" is looked up through the drive
  // letters, which these tests change.
  if (!CreateProcessW(L"\\\\?\\unix\\bin\\sh", &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return false;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  char status[16] = {};
  for (int i = 0; i < 300 && !status[0]; ++i) {
    Sleep(100);
    HANDLE f = CreateFileW(kStatus, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) continue;
    DWORD n = 0;
    ReadFile(f, status, sizeof(status) - 1, &n, nullptr);
    CloseHandle(f);
  }
  DeleteFileW(kStatus);
  return status[0] == '0' && status[1] == '\n';
}

}  // namespace e2e
