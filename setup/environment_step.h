// The two gates of the setup run before the wizard: the machine and the
// package.
#pragma once

#include <string>

// Message shown for an environment code 1-4; empty for any other code.
std::wstring EnvironmentMessage(int code);

// Checks the machine, switches the resource module to a verified /DebugFile
// module, prepares the 7-Zip library and tells the install task whether it
// runs silently. False ends the setup run.
bool RunEnvironmentStep();

// The package step in two halves: preparing the payload shows nothing, so it
// may run on another thread while the wizard is built; a failure then asks
// whether to download the setup again and reports it. A failed step ends the
// setup run.
bool PreparePackage();
void ReportPackageFailure();
