#include "package/sevenzip_library.h"

#include <shlwapi.h>

namespace package {

bool CSevenZipLibrary::Load(const wchar_t* full_path) {
  CAutoLocker lock(lock_);
  if (module_) return true;
  if (!full_path || !*full_path || PathIsRelativeW(full_path)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  module_.Reset(LoadLibraryW(full_path));
  return module_.IsValid();
}

bool CSevenZipLibrary::IsLoaded() {
  CAutoLocker lock(lock_);
  return module_.IsValid();
}

FARPROC CSevenZipLibrary::GetProc(const char* name) {
  CAutoLocker lock(lock_);
  return module_ ? GetProcAddress(module_.Get(), name) : nullptr;
}

bool Load7zLibrary(const wchar_t* full_path) {
  return CSevenZipLibrary::GetInstance()->Load(full_path);
}

}  // namespace package
