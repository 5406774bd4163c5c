#include "engine/device_path.h"

#include <windows.h>

#include <cwctype>

namespace engine {
namespace {

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() &&
         CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                              static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

bool HasDriveLetterAt(const std::wstring& path, size_t pos) {
  return path.size() >= pos + 3 && iswalpha(path[pos]) && path[pos + 1] == L':' &&
         path[pos + 2] == L'\\';
}

}  // namespace

std::vector<DriveDevice> CurrentDriveDevices() {
  std::vector<DriveDevice> drives;
  const DWORD mask = GetLogicalDrives();
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
    if (!(mask & (1u << (letter - L'A')))) continue;
    const wchar_t drive[] = {letter, L':', L'\0'};
    // A drive can stand for several names (a SUBST over a volume).
    wchar_t targets[MAX_PATH * 4] = {};
    const DWORD n = QueryDosDeviceW(drive, targets, ARRAYSIZE(targets));
    for (DWORD i = 0; i < n && targets[i];) {
      const std::wstring device(&targets[i]);
      drives.push_back({drive, device});
      i += static_cast<DWORD>(device.size()) + 1;
    }
  }
  return drives;
}

bool DevicePathToDrivePath(const std::wstring& path, const std::vector<DriveDevice>& drives,
                           std::wstring* out) {
  for (const wchar_t* prefix : {L"\\??\\", L"\\\\?\\"}) {
    const size_t length = wcslen(prefix);
    if (path.compare(0, length, prefix) == 0 && HasDriveLetterAt(path, length)) {
      *out = path.substr(length);
      return true;
    }
  }
  for (const DriveDevice& d : drives) {
    // "\Device\HarddiskVolume1" must not match "\Device\HarddiskVolume10\...".
    if (d.device.empty() || !StartsWithNoCase(path, d.device) || path.size() <= d.device.size() ||
        path[d.device.size()] != L'\\') {
      continue;
    }
    *out = d.drive + path.substr(d.device.size());
    return true;
  }
  return false;
}

}  // namespace engine
