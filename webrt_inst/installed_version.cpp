#include "webrt_inst/installed_version.h"

#include <windows.h>

#include <vector>

#include "base/scoped_handle.h"
#include "log/logger.h"

namespace {

std::wstring ReadPv(HKEY root, REGSAM view) {
  base::ScopedRegKey key;
  if (RegOpenKeyExW(root, kRuntimeClientKey, 0, KEY_READ | view, key.Receive()) != ERROR_SUCCESS) {
    return std::wstring();
  }
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.Get(), L"pv", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::wstring();
  }
  std::vector<wchar_t> buf(size / 2 + 1, L'\0');
  DWORD bytes = size;
  if (RegQueryValueExW(key.Get(), L"pv", nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &bytes) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::wstring();
  }
  buf[size / 2] = L'\0';
  return buf.data();
}

bool IsRealVersion(const std::wstring& v) { return !v.empty() && v != L"0.0.0.0"; }

}  // namespace

std::wstring GetInstalledVersion() {
  std::wstring version = ReadPv(HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
  if (IsRealVersion(version)) return version;
  version = ReadPv(HKEY_CURRENT_USER, KEY_WOW64_64KEY);
  LOG_INFO << "read webview2 version=" << version;
  return IsRealVersion(version) ? version : std::wstring();
}
