// Binding of Install's own imports when it was loaded as a module.
//
// Windows resolves the imports of an executable that another program loads
// with LoadLibrary, but not every loader does (Wine leaves them unbound), and
// the executable's start-up code never runs in that case. Start therefore
// checks its import table first and binds what is still unbound, using only
// code that needs no import itself.
#pragma once

#include <windows.h>

// True when the image runs at the address its absolute references were fixed
// up for. A loader that maps an executable elsewhere without applying its
// relocations leaves it false; then no code of the image may run that reads
// an absolute address. Position-independent itself.
bool ImageRunsWhereLinked();

// Binds every import slot of `module` that still holds its name reference.
// Already bound slots are left alone. False when a library or function could
// not be found; the caller must not go on then.
bool BindUnresolvedImports(HMODULE module);
