// Resource identifiers of the setup executable (shared with its .rc file).
#pragma once

#define IDI_SETUP 128
