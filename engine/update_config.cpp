#include "engine/update_config.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "engine/product_registration.h"

namespace engine {
namespace {

// Room for every section name the delivered file could ever hold.
constexpr DWORD kSectionNamesChars = 2621440;
constexpr DWORD kPathValueChars = MAX_PATH + 1;

}  // namespace

bool RewriteConfigPath(const std::wstring& install_dir, const std::wstring& old_value,
                       std::wstring* new_value) {
  wchar_t buffer[MAX_PATH] = {};
  const std::wstring dir = install_dir.substr(0, kConfigDirChars);
  dir.copy(buffer, dir.size());
  if (!PathAppendW(buffer, old_value.c_str())) return false;
  // "." names the directory itself; PathAppend may leave it as a last part
  // (Wine's does), which the full-path rules take away.
  wchar_t full[MAX_PATH] = {};
  const DWORD n = GetFullPathNameW(buffer, MAX_PATH, full, nullptr);
  *new_value = n > 0 && n < MAX_PATH ? full : buffer;
  return true;
}

int UpdateConfigPaths(const std::wstring& install_dir) {
  const std::wstring file = JoinPath(install_dir, kUpdateConfigName);
  // GetPrivateProfile* would happily answer from an empty "file"; and
  // WritePrivateProfileString would create one.
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return 0;

  std::vector<wchar_t> names(kSectionNamesChars);
  const DWORD length =
      GetPrivateProfileSectionNamesW(names.data(), kSectionNamesChars, file.c_str());
  int rewritten = 0;
  for (DWORD i = 0; i < length && names[i];) {
    const std::wstring section(&names[i]);
    i += static_cast<DWORD>(section.size()) + 1;

    wchar_t value[kPathValueChars] = {};
    GetPrivateProfileStringW(section.c_str(), L"path", L"", value, kPathValueChars, file.c_str());
    if (!*value) continue;
    std::wstring new_value;
    if (RewriteConfigPath(install_dir, value, &new_value) &&
        WritePrivateProfileStringW(section.c_str(), L"path", new_value.c_str(), file.c_str())) {
      ++rewritten;
    }
  }
  return rewritten;
}

}  // namespace engine
