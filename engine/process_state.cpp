#include "engine/process_state.h"

namespace {
HMODULE g_resource_module = nullptr;
volatile LONG g_install_result = -1;
volatile LONG g_silent = 0;
volatile LONG g_legacy_system = 0;
}  // namespace

HMODULE ResourceModule() { return g_resource_module; }
void SetResourceModule(HMODULE module) { g_resource_module = module; }

LONG InstallResult() { return InterlockedCompareExchange(&g_install_result, 0, 0); }
void SetInstallResult(LONG result) { InterlockedExchange(&g_install_result, result); }

bool IsSilent() { return g_silent != 0; }
void SetSilent(bool silent) { InterlockedExchange(&g_silent, silent ? 1 : 0); }

bool IsLegacySystem() { return g_legacy_system != 0; }
void SetLegacySystem(bool legacy) { InterlockedExchange(&g_legacy_system, legacy ? 1 : 0); }
