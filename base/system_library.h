// Loading of system libraries without the application directory in the
// search path. A setup usually runs from a Downloads folder where anyone may
// have dropped a DLL named like a system one.
#pragma once

#include <windows.h>

#include <string>

namespace base {

// Restricts the process's DLL search path to System32 (plus explicitly added
// directories). Must be the first act of every entry point. Returns false on
// systems without SetDefaultDllDirectories; the current directory is then at
// least removed from the search order.
bool HardenDllSearchPath();

// What HardenDllSearchPath changes, as far as Windows lets it be read back.
// Plain data: Start saves it before the runtime's own start-up has run.
struct DllSearchState {
  bool has_directory;  // SetDllDirectoryW had set a directory
  wchar_t directory[MAX_PATH + 1];
};
DllSearchState SaveDllSearchPath();
// Puts the DLL directory back. Windows can neither read nor undo
// SetDefaultDllDirectories; the nearest to a host's own order is the
// standard safe set (its application directory, System32 and the
// directories it added), which is what this leaves.
void RestoreDllSearchPath(const DllSearchState& state);

// Full path of `name` inside the system directory ("C:\Windows\System32\x").
std::wstring SystemLibraryPath(const wchar_t* name);

// Loads a system library by full path. Returns null (last error kept) on failure.
HMODULE LoadSystemLibrary(const wchar_t* name);

// Looks `proc` up in a system library, loading it from System32 when it is not
// loaded yet. The library stays loaded for the life of the process.
FARPROC GetSystemProc(const wchar_t* library, const char* proc);

template <class Fn>
Fn GetSystemProcAs(const wchar_t* library, const char* proc) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetSystemProc(library, proc)));
}

}  // namespace base
