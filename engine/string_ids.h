// Strings of the setup executable's table that the engine reads (shared with
// the executable's .rc file, so only preprocessor definitions here).
#pragma once

#define IDS_DEFAULT_PID 208
