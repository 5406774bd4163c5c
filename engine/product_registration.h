// Registration of the product with Windows: the product key read by the
// product and its updater, and the entry of the system's program list.
// Install is a 32-bit process and writes HKLM without a view flag, so on
// 64-bit Windows both keys land in the 32-bit view (Wow6432Node).
#pragma once

#include <windows.h>

#include <string>

namespace engine {

constexpr wchar_t kProductKey[] = L"SOFTWARE\\Pelorix";
constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelorix";
constexpr wchar_t kMainProgramRelative[] = L"Nexhub\\pelorix\\pelorix_ui.exe";
constexpr wchar_t kUninstallerName[] = L"uninst.exe";

// `dir` and `name` with exactly one backslash between them.
std::wstring JoinPath(const std::wstring& dir, const std::wstring& name);

// The main program of an install in `install_dir`.
std::wstring MainProgramPath(const std::wstring& install_dir);

// "YYYY-MM-DD hh:mm:ss", the "InstallDate" form.
std::wstring FormatInstallDate(const SYSTEMTIME& time);

// Writes "Setup Path", "InstallDate" (local time now), the default value (the
// main program) and "mid" (the machine identifier) under HKLM kProductKey.
// The result is whether "Setup Path" was written; the other values are best
// effort.
BOOL WritePathRegistry(const std::wstring& install_dir);
// Same, with the time and machine identifier given (tests, callers that have
// them already).
BOOL WritePathRegistry(const std::wstring& install_dir, const SYSTEMTIME& local_time,
                       const std::wstring& mid);

// "DisplayVersion" from the two forms of a file version. `version_string` is
// the "FileVersion" string, used only when `prefer_string` and it is not empty
// after normalising (commas become dots, blanks go).
std::wstring ChooseDisplayVersion(const std::wstring& fixed_version,
                                  const std::wstring& version_string, bool prefer_string);

// "DisplayVersion" of `program`: the version string on 32-bit Windows 10
// (whose program list shows it as is), the fixed version otherwise. Empty
// when the file has no version resource.
std::wstring DisplayVersionOf(const std::wstring& program);

// Writes the six values of the program-list entry under HKLM kUninstallKey:
// "DisplayIcon", "DisplayName", "DisplayVersion", "InstallLocation",
// "Publisher", "UninstallString". A value that cannot be written is skipped;
// the result is whether all six were written.
BOOL WriteUninstallEntry(const std::wstring& install_dir);

}  // namespace engine
