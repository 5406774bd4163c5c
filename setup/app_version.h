// The version the setup reports for itself in statistics.
#pragma once

#include <string>

// "%d.%d.%d.%d" from the fixed version information of `path`; empty when the
// file has none. On 32-bit Windows 10 and later the "FileVersion" string of
// the first translation is preferred when present (commas become points,
// spaces are dropped).
std::wstring ReportedFileVersion(const std::wstring& path);
