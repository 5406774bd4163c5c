// Entry points of Install: the program's wWinMain and the exported Start,
// through which another program that loaded Install runs a whole setup.

#include <windows.h>

#include "base/system_library.h"
#include "engine/command_parser.h"
#include "engine/process_state.h"
#include "setup/module_imports.h"
#include "setup/setup_run.h"

extern "C" {
// From the mingw runtime. When Install is loaded as a module its start-up code
// never runs, so Start applies the pseudo-relocations and runs the global
// constructors itself; both guard against running twice.
void _pei386_runtime_relocator(void);
void __main(void);
// Provided by the linker: the start of this image.
extern IMAGE_DOS_HEADER __ImageBase;

__declspec(dllexport) int WINAPI Start(const wchar_t* command_line, wchar_t* result, int result_length);
}

namespace {

volatile LONG g_start_entered = 0;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR command_line, int show_mode) {
  base::HardenDllSearchPath();
  RunSetup(instance, previous, command_line, show_mode);
  return 0;
}

int WINAPI Start(const wchar_t* command_line, wchar_t* result, int result_length) {
  if (!ImageRunsWhereLinked()) {
    // Mapped elsewhere and not fixed up: even a string literal would be read
    // from the wrong place, so the word is written character by character.
    if (result && result_length >= 5) {
      result[0] = L'f';
      result[1] = L'a';
      result[2] = L'i';
      result[3] = L'l';
      result[4] = L'\0';
    }
    return 0;
  }
  HMODULE self = reinterpret_cast<HMODULE>(&__ImageBase);
  // Nothing that goes through the import table may run before this.
  if (!BindUnresolvedImports(self)) return 0;
  // The search path is the host's: it gets it back when the run ends.
  const base::DllSearchState host_search = base::SaveDllSearchPath();
  base::HardenDllSearchPath();
  _pei386_runtime_relocator();
  __main();
  // A host's setup takes resources (strings, payload) from Install itself,
  // not from the host's executable.
  if (!ResourceModule()) SetResourceModule(self);

  if (command_line) CommandParser()->Parse(command_line);
  if (InterlockedCompareExchange(&g_start_entered, 1, 0) != 0) {
    base::RestoreDllSearchPath(host_search);
    return 0;
  }
  // The host passes no show mode of its own: a visible setup is shown as
  // any program's first window would be.
  RunSetup(ResourceModule(), nullptr, command_line, CommandParser()->IsSilent() ? SW_HIDE : SW_SHOWNORMAL);
  if (result && result_length > 0) lstrcpynW(result, InstallResult() == 0 ? L"suc" : L"fail", result_length);
  base::RestoreDllSearchPath(host_search);
  return 0;
}
