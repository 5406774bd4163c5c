#include "base/system_library.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace base {

bool HardenDllSearchPath() {
  // kernel32 is always loaded, so GetModuleHandle cannot pick up a planted copy.
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
  auto set_dirs = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  auto set_dir = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryW")));
  if (set_dir) set_dir(L"");  // drops the current directory from the search order
  return set_dirs && set_dirs(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

DllSearchState SaveDllSearchPath() {
  DllSearchState state = {};
  const DWORD n = GetDllDirectoryW(MAX_PATH + 1, state.directory);
  state.has_directory = n > 0 && n <= MAX_PATH;
  if (!state.has_directory) state.directory[0] = L'\0';
  return state;
}

void RestoreDllSearchPath(const DllSearchState& state) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_dirs = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_dirs) set_dirs(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  SetDllDirectoryW(state.has_directory ? state.directory : nullptr);
}

std::wstring SystemLibraryPath(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  UINT n = GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  std::wstring path(dir, n);
  if (path.back() != L'\\') path += L'\\';
  return path + name;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  std::wstring path = SystemLibraryPath(name);
  if (path.empty()) return nullptr;
  // The altered search path makes the library's own dependencies resolve from
  // its directory (System32) as well.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC GetSystemProc(const wchar_t* library, const char* proc) {
  HMODULE module = GetModuleHandleW(SystemLibraryPath(library).c_str());
  if (!module) module = LoadSystemLibrary(library);
  return module ? GetProcAddress(module, proc) : nullptr;
}

}  // namespace base
