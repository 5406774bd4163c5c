#include "engine/product_registration.h"

#include <cwchar>

#include "base/file_version.h"
#include "base/os_version.h"
#include "base/registry.h"
#include "telemetry/machine_id.h"

namespace engine {
namespace {

// The product reads the identifier into a buffer of this many characters.
constexpr DWORD kMidChars = 260;

bool WriteValue(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
  // No view flag: a 32-bit process writes where a 32-bit product reads.
  return base::RegWriteString(HKEY_LOCAL_MACHINE, key, name, value);
}

}  // namespace

std::wstring JoinPath(const std::wstring& dir, const std::wstring& name) {
  if (dir.empty()) return name;
  std::wstring joined = dir;
  if (joined.back() != L'\\') joined += L'\\';
  size_t skip = 0;
  while (skip < name.size() && name[skip] == L'\\') ++skip;
  return joined + name.substr(skip);
}

std::wstring MainProgramPath(const std::wstring& install_dir) {
  return JoinPath(install_dir, kMainProgramRelative);
}

std::wstring FormatInstallDate(const SYSTEMTIME& time) {
  wchar_t text[64];
  swprintf(text, 64, L"%04d-%02d-%02d %02d:%02d:%02d", time.wYear, time.wMonth, time.wDay,
           time.wHour, time.wMinute, time.wSecond);
  return text;
}

BOOL WritePathRegistry(const std::wstring& install_dir) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t mid[kMidChars] = {};
  GetMID(mid, kMidChars);
  return WritePathRegistry(install_dir, now, mid);
}

BOOL WritePathRegistry(const std::wstring& install_dir, const SYSTEMTIME& local_time,
                       const std::wstring& mid) {
  // Only "Setup Path" matters to the outcome: it is how the next setup and
  // the updater find the install; the rest is informational.
  const bool path_written = WriteValue(kProductKey, L"Setup Path", install_dir);
  WriteValue(kProductKey, L"InstallDate", FormatInstallDate(local_time));
  WriteValue(kProductKey, nullptr, MainProgramPath(install_dir));
  WriteValue(kProductKey, L"mid", mid.substr(0, kMidChars - 1));
  return path_written ? TRUE : FALSE;
}

std::wstring ChooseDisplayVersion(const std::wstring& fixed_version,
                                  const std::wstring& version_string, bool prefer_string) {
  if (prefer_string) {
    std::wstring normalised;
    for (wchar_t c : version_string) {
      if (c == L',') {
        normalised += L'.';
      } else if (c != L' ' && c != L'\t') {
        normalised += c;
      }
    }
    if (!normalised.empty()) return normalised;
  }
  return fixed_version;
}

std::wstring DisplayVersionOf(const std::wstring& program) {
  base::FileVersionInfo info;
  if (!info.Load(program)) return std::wstring();
  const bool prefer_string =
      !base::Is64BitSystem() && base::IsWindows10OrLater(base::CurrentNtVersion());
  return ChooseDisplayVersion(info.FixedVersion(),
                              prefer_string ? info.FileVersionString(true) : std::wstring(),
                              prefer_string);
}

BOOL WriteUninstallEntry(const std::wstring& install_dir) {
  const std::wstring main_program = MainProgramPath(install_dir);
  // Written in this order; a failed value does not stop the others, the
  // entry is still useful without it.
  const struct {
    const wchar_t* name;
    std::wstring value;
  } values[] = {
      {L"DisplayIcon", main_program},
      {L"DisplayName", L"Pelorix"},
      {L"DisplayVersion", DisplayVersionOf(main_program)},
      {L"InstallLocation", install_dir},
      {L"Publisher", L"Orvane"},
      {L"UninstallString", JoinPath(install_dir, kUninstallerName)},
  };
  bool all = true;
  for (const auto& v : values) all = WriteValue(kUninstallKey, v.name, v.value) && all;
  return all ? TRUE : FALSE;
}

}  // namespace engine
