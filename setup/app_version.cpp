#include "setup/app_version.h"

#include "base/file_version.h"
#include "base/os_version.h"

std::wstring ReportedFileVersion(const std::wstring& path) {
  base::FileVersionInfo info;
  if (!info.Load(path)) return std::wstring();
  const base::NtVersion& os = base::CurrentNtVersion();
  if (base::IsWindows10OrLater(os) && !base::Is64BitSystem()) {
    std::wstring text;
    for (wchar_t c : info.FileVersionString()) {
      if (c != L' ') text.push_back(c == L',' ? L'.' : c);
    }
    if (!text.empty()) return text;
  }
  return info.FixedVersion();
}
