#include "base/file_version.h"

#include <cwchar>

#include "base/system_library.h"

namespace base {
namespace {

using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

QueryFn Query() { return GetSystemProcAs<QueryFn>(L"version.dll", "VerQueryValueW"); }

}  // namespace

bool FileVersionInfo::Load(const std::wstring& path) {
  data_.clear();
  auto size_of = GetSystemProcAs<SizeFn>(L"version.dll", "GetFileVersionInfoSizeW");
  auto info = GetSystemProcAs<InfoFn>(L"version.dll", "GetFileVersionInfoW");
  if (!size_of || !info || path.empty()) return false;
  DWORD handle = 0;
  const DWORD size = size_of(path.c_str(), &handle);
  if (size == 0) return false;
  data_.resize(size);
  if (!info(path.c_str(), 0, size, data_.data())) data_.clear();
  return !data_.empty();
}

std::wstring FileVersionInfo::FixedVersion() const {
  auto query = Query();
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT bytes = 0;
  if (data_.empty() || !query || !query(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &bytes) ||
      !fixed || bytes < sizeof(VS_FIXEDFILEINFO)) {
    return std::wstring();
  }
  wchar_t out[64];
  swprintf(out, 64, L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
           HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  return out;
}

std::wstring FileVersionInfo::FileVersionString(bool first_non_empty) const {
  auto query = Query();
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  UINT bytes = 0;
  if (data_.empty() || !query ||
      !query(data_.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &bytes) ||
      bytes < sizeof(Translation)) {
    return std::wstring();
  }
  const UINT count = first_non_empty ? bytes / sizeof(Translation) : 1;
  for (UINT i = 0; i < count; ++i) {
    wchar_t key[64];
    swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translations[i].language,
             translations[i].code_page);
    wchar_t* text = nullptr;
    UINT chars = 0;
    if (query(data_.data(), key, reinterpret_cast<void**>(&text), &chars) && text && *text) return text;
  }
  return std::wstring();
}

std::wstring FixedFileVersion(const std::wstring& path) {
  FileVersionInfo info;
  return info.Load(path) ? info.FixedVersion() : std::wstring();
}

}  // namespace base
