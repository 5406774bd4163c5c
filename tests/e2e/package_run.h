// What tests of the packaged setup look at: the package, the staging
// directories, the pending rename list and the statistics server's log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// The product's keys under HKLM (32-bit view).
constexpr wchar_t kProductKey[] = L"SOFTWARE\\Pelorix";
constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelorix";

// The signed package the build made.
std::wstring PackagePath();
// Names of the staging directories ("{guid}.tmp") in the common application data folder.
std::vector<std::wstring> StagingDirs();
// The pending rename list with every terminator shown as "|".
std::wstring PendingRenames();
// Requests that reached the statistics test server (serving `www`) for channel `pid`, in order.
std::vector<std::string> StatRequests(const std::wstring& www, const std::string& pid);
// Whether a request reports `action` and contains `more`.
bool HasAction(const std::vector<std::string>& lines, const std::string& action, const std::string& more = "");
// The running sample product's process (opened for SYNCHRONIZE), found by its
// main window within ten seconds; null when none shows up. The caller closes it.
HANDLE OpenRunningProduct();
// A channel id no earlier run used.
std::string UniquePid(const char* what);

}  // namespace e2e
