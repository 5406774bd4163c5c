// Starting a downloaded runtime installer and waiting for it to finish.
#pragma once

#include <windows.h>

#include <string>

namespace webrt {

// Command-line parameters for the installer of a download method: the
// bootstrapper installs machine-wide, the standalone CDN copy per user.
const wchar_t* InstallerParameters(DWORD method);

// Starts `path` elevated and hidden and waits for it (see WaitInstaller).
// False when the path or parameters are empty, the file is missing or it
// could not be started.
bool RunInstaller(const std::wstring& path, const std::wstring& parameters, HANDLE stop_event);

// Waits for the process, then for each process it started, until each ends
// or the stop event is signalled. Does nothing without both handles.
void WaitInstaller(HANDLE process, HANDLE stop_event);

}  // namespace webrt
