#include "base/registry.h"

#include <shlwapi.h>

#include <vector>

#include "base/scoped_handle.h"

namespace base {
namespace {

ScopedRegKey OpenKey(HKEY root, const wchar_t* subkey, REGSAM access, REGSAM view) {
  ScopedRegKey key;
  if (RegOpenKeyExW(root, subkey, 0, access | view, key.Receive()) != ERROR_SUCCESS) key.Reset();
  return key;
}

ScopedRegKey CreateKey(HKEY root, const wchar_t* subkey, REGSAM view) {
  ScopedRegKey key;
  if (RegCreateKeyExW(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | view,
                      nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
    key.Reset();
  }
  return key;
}

}  // namespace

bool RegReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, std::wstring* out,
                   DWORD max_bytes, REGSAM view) {
  out->clear();
  ScopedRegKey key = OpenKey(root, subkey, KEY_QUERY_VALUE, view);
  if (!key) return false;
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  if (max_bytes && size > max_bytes) return false;
  std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  // Stored strings need not carry their terminator.
  buf[size / sizeof(wchar_t)] = L'\0';
  out->assign(buf.data());
  return true;
}

bool RegWriteString(HKEY root, const wchar_t* subkey, const wchar_t* name,
                    const std::wstring& value, bool with_terminator, REGSAM view) {
  ScopedRegKey key = CreateKey(root, subkey, view);
  if (!key) return false;
  DWORD bytes = static_cast<DWORD>((value.size() + (with_terminator ? 1 : 0)) * sizeof(wchar_t));
  return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        bytes) == ERROR_SUCCESS;
}

bool RegReadDword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD* out, REGSAM view) {
  ScopedRegKey key = OpenKey(root, subkey, KEY_QUERY_VALUE, view);
  if (!key) return false;
  DWORD type = 0, size = sizeof(DWORD), value = 0;
  if (RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD) {
    return false;
  }
  *out = value;
  return true;
}

bool RegWriteDword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value, REGSAM view) {
  ScopedRegKey key = CreateKey(root, subkey, view);
  return key && RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                               sizeof(value)) == ERROR_SUCCESS;
}

bool RegRemoveValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view) {
  ScopedRegKey key = OpenKey(root, subkey, KEY_SET_VALUE, view);
  if (!key) return true;
  LONG rc = RegDeleteValueW(key.Get(), name);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool RegRemoveTree(HKEY root, const wchar_t* subkey, REGSAM view) {
  ScopedRegKey key = OpenKey(root, subkey, KEY_ALL_ACCESS, view);
  if (!key) return true;
  // SHDeleteKeyW has no view flag, so delete the children through the opened key.
  LONG rc = SHDeleteKeyW(key.Get(), L"");
  key.Reset();
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
  using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  auto del = reinterpret_cast<RegDeleteKeyExFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
  rc = del ? del(root, subkey, view, 0) : RegDeleteKeyW(root, subkey);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace base
