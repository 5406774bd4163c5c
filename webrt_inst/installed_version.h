// Where the WebView2 runtime records its installed version.
#pragma once

#include <string>

constexpr wchar_t kRuntimeClientKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

// The installed runtime version: the machine-wide registration (32-bit view)
// first, then the per-user one (64-bit view). Empty, or "0.0.0.0" as left by
// an uninstall, counts as not installed and gives "".
std::wstring GetInstalledVersion();
