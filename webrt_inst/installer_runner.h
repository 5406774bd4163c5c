// Starting a downloaded runtime installer and waiting for it to finish.
#pragma once

#include <windows.h>

#include <string>

#include "webrt_inst/verified_installer.h"

namespace webrt {

// Command-line parameters for the installer of a download method: the
// bootstrapper installs machine-wide, the standalone CDN copy per user.
const wchar_t* InstallerParameters(DWORD method);

// Starts the checked installer elevated and hidden and waits for it (see
// WaitInstaller). False without an installer or parameters, once a stop was
// requested, or when it could not be started.
bool RunInstaller(const VerifiedInstaller* installer, const std::wstring& parameters,
                  HANDLE stop_event);

// Waits for the process, then for each process it started, until each ends
// or the stop event is signalled. Does nothing without both handles.
void WaitInstaller(HANDLE process, HANDLE stop_event);

}  // namespace webrt
