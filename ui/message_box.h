// The setup's message box. Returns the button pressed (IDOK, IDYES, ...), or
// -1 at once without showing anything in silent mode.
#pragma once

#include <windows.h>

int SetupMessageBox(const wchar_t* text, UINT type);
