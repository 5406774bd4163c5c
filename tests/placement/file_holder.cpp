// Holds a file open from another process, as a running product would, until
// told to let go.
//
//   file_holder.exe <path> <share: none|r|rw|rd|rwd> <ready event> <release event>
//
// Sets the ready event once the file is open and exits when the release
// event is set (or after a minute, so that a failed test leaves nothing
// running). Exit code 0, or 2 when the file could not be opened.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 1;
  DWORD share = 0;
  if (wcscmp(argv[2], L"r") == 0) share = FILE_SHARE_READ;
  else if (wcscmp(argv[2], L"rw") == 0) share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  else if (wcscmp(argv[2], L"rd") == 0) share = FILE_SHARE_READ | FILE_SHARE_DELETE;
  else if (wcscmp(argv[2], L"rwd") == 0)
    share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

  HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[4]);
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
  if (!release || !ready) return 1;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  SetEvent(ready);
  WaitForSingleObject(release, 60000);
  CloseHandle(file);
  CloseHandle(ready);
  CloseHandle(release);
  return 0;
}
