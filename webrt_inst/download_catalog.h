// Which runtime installer to fetch, and where to keep it on disk.
#pragma once

#include <string>

#include "base/os_version.h"

namespace webrt {

// A CDN copy of a standalone runtime installer.
struct CdnChoice {
  std::wstring url;  // empty when no installer fits the machine
  std::wstring md5;  // 32 lower-case hex digits, empty with the URL
};

// The catalogue row for a machine: Windows 8 and later get the "windows10"
// builds, Windows 7 the "windows7" ones, anything older nothing. `cdn` is the
// endpoint the paths are appended to.
CdnChoice SelectDownloadUrlFor(const base::NtVersion& version, bool is_64bit,
                               const std::wstring& cdn);

// True for a 64-bit Windows, decided once per process.
bool IsMachine64Bit();

// The row for this machine on the configured CDN; logs the URL. Returns the
// URL and stores the expected MD5 in `md5`.
std::wstring SelectDownloadUrl(std::wstring* md5);

// "<folder>\<md5 of the UTF-8 URL>.exe"; empty for an empty folder or URL.
// The folder is a run's own (webrt_inst/download_folder.h): a file from an
// earlier run is never reused.
std::wstring GetDownloadPath(const std::wstring& folder, const std::wstring& url);

}  // namespace webrt
