// The process-wide holder of the loaded 7z.dll. The library is loaded once,
// by full path, and stays loaded until the process ends.
#pragma once

#include <windows.h>

#include "base/critical_section.h"
#include "base/scoped_handle.h"
#include "base/singleton.h"

namespace package {

class CSevenZipLibrary {
 public:
  static CSevenZipLibrary* GetInstance() { return CSingletonT<CSevenZipLibrary>::GetInstance(); }

  // True at once when a library is already held; otherwise loads `full_path`
  // (a relative path or bare name is refused so that no search order applies).
  bool Load(const wchar_t* full_path);
  // Like Load, but `verify` (a signature check) must accept the file first.
  // The file is held open without write or delete sharing from before the
  // check until it is loaded, so the checked bytes are the loaded ones.
  bool LoadVerified(const wchar_t* full_path, bool (*verify)(const wchar_t* path));
  bool IsLoaded();
  // An export of the held library, or null.
  FARPROC GetProc(const char* name);

 private:
  friend class CSingletonT<CSevenZipLibrary>;
  CSevenZipLibrary() = default;

  CCriticalSection lock_;
  base::ScopedModule module_;
};

// Shorthand for CSevenZipLibrary::GetInstance()->Load(path).
bool Load7zLibrary(const wchar_t* full_path);

// Called by LoadVerified between the check and the load. For tests; null
// removes it.
using LibraryCheckedHook = void (*)(const wchar_t* path);
LibraryCheckedHook SetLibraryCheckedHookForTesting(LibraryCheckedHook hook);

}  // namespace package
