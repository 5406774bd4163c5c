#include "setup/app_version.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "base/os_version.h"
#include "base/system_library.h"

namespace {

// version.dll is not one of the libraries Windows always takes from System32,
// so it is resolved at run time rather than imported.
struct VersionApi {
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  SizeFn size = base::GetSystemProcAs<SizeFn>(L"version.dll", "GetFileVersionInfoSizeW");
  InfoFn info = base::GetSystemProcAs<InfoFn>(L"version.dll", "GetFileVersionInfoW");
  QueryFn query = base::GetSystemProcAs<QueryFn>(L"version.dll", "VerQueryValueW");
  bool ok() const { return size && info && query; }
};

std::wstring FileVersionString(const VersionApi& api, const std::vector<BYTE>& data) {
  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  UINT bytes = 0;
  if (!api.query(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                 &bytes) ||
      bytes < sizeof(Translation)) {
    return std::wstring();
  }
  wchar_t key[64];
  swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\FileVersion", translations[0].language,
           translations[0].code_page);
  wchar_t* text = nullptr;
  UINT chars = 0;
  if (!api.query(data.data(), key, reinterpret_cast<void**>(&text), &chars) || !text) return std::wstring();
  std::wstring out;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p == L' ') continue;
    out.push_back(*p == L',' ? L'.' : *p);
  }
  return out;
}

}  // namespace

std::wstring ReportedFileVersion(const std::wstring& path) {
  VersionApi api;
  if (!api.ok()) return std::wstring();
  DWORD handle = 0;
  DWORD size = api.size(path.c_str(), &handle);
  if (size == 0) return std::wstring();
  std::vector<BYTE> data(size);
  if (!api.info(path.c_str(), 0, size, data.data())) return std::wstring();

  const base::NtVersion& os = base::CurrentNtVersion();
  if (base::IsWindows10OrLater(os) && !base::Is64BitSystem()) {
    std::wstring text = FileVersionString(api, data);
    if (!text.empty()) return text;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT bytes = 0;
  if (!api.query(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &bytes) || !fixed ||
      bytes < sizeof(VS_FIXEDFILEINFO)) {
    return std::wstring();
  }
  wchar_t out[64];
  swprintf(out, 64, L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
           HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  return out;
}
