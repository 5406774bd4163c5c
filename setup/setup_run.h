// One complete setup run, shared by wWinMain and the exported Start.
#pragma once

#include <windows.h>

// Initialises the process, parses `command_line`, passes the version gate and
// the single-instance mutex, checks the machine and the package, runs the
// wizard (hidden when silent) and tears everything down again. `ignored` is
// kept for the caller's calling shape. Always returns 0.
int RunSetup(HMODULE module, HMODULE ignored, const wchar_t* command_line, int show_mode);
