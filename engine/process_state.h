// Process-wide state of the setup run. Plain globals with constant
// initialisers: they must be valid even when Install is loaded as a module by
// another program and its C++ constructors never ran.
#pragma once

#include <windows.h>

// The module resources are loaded from; null designates the executable that
// started the process.
HMODULE ResourceModule();
void SetResourceModule(HMODULE module);

// -1 until the install task reports completion, then 0.
LONG InstallResult();
void SetInstallResult(LONG result);

// Copy of the "hide_ui" switch, read by the message box.
bool IsSilent();
void SetSilent(bool silent);

// Set when Windows reports version 5.1.
bool IsLegacySystem();
void SetLegacySystem(bool legacy);
