#include "ui/message_box.h"

#include "setup/process_state.h"

// The system box stands in until the setup's own styled box exists.
int SetupMessageBox(const wchar_t* text, UINT type) {
  if (IsSilent()) return -1;
  return MessageBoxW(GetActiveWindow(), text ? text : L"", L"Pelorix", (type & 0xF) | MB_SETFOREGROUND);
}
