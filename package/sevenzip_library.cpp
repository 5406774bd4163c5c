#include "package/sevenzip_library.h"

#include <shlwapi.h>

namespace package {
namespace {

LibraryCheckedHook g_checked_hook = nullptr;

bool IsFullPath(const wchar_t* path) {
  if (path && *path && !PathIsRelativeW(path)) return true;
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace

LibraryCheckedHook SetLibraryCheckedHookForTesting(LibraryCheckedHook hook) {
  LibraryCheckedHook previous = g_checked_hook;
  g_checked_hook = hook;
  return previous;
}

bool CSevenZipLibrary::Load(const wchar_t* full_path) {
  CAutoLocker lock(lock_);
  if (module_) return true;
  if (!IsFullPath(full_path)) return false;
  module_.Reset(LoadLibraryW(full_path));
  return module_.IsValid();
}

bool CSevenZipLibrary::LoadVerified(const wchar_t* full_path, bool (*verify)(const wchar_t* path)) {
  CAutoLocker lock(lock_);
  if (module_) return true;
  if (!verify || !IsFullPath(full_path)) return false;
  // Sharing read only: the loader's own read-only open still succeeds, but
  // no one can write, replace, rename or delete the file until it is mapped.
  base::ScopedHandle hold(CreateFileW(full_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!hold || !verify(full_path)) return false;
  if (g_checked_hook) g_checked_hook(full_path);
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
