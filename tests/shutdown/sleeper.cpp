// A program that only waits, standing in for any process of the product that
// the shutdown step must end.
//
//   sleeper.exe <ready event>
//
// Sets the ready event once running and exits by itself after a minute with
// code 3, so that a failed test leaves nothing behind; ended by force it
// exits with the code it was given.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 1;
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
  if (!ready) return 1;
  SetEvent(ready);
  CloseHandle(ready);
  Sleep(60000);
  return 3;
}
