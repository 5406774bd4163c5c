// Resource identifiers of the setup executable (shared with its .rc file).
#pragma once

#define IDS_DEFAULT_PID 208
#define IDI_SETUP 128
