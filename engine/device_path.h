// Process image names come back in the kernel's device form
// ("\Device\HarddiskVolume2\Program Files\x.exe"); the shutdown step compares
// drive-letter paths, so they are translated through the drive letters' device
// names.
#pragma once

#include <string>
#include <vector>

namespace engine {

// One drive letter ("C:") and a device name it stands for.
struct DriveDevice {
  std::wstring drive;
  std::wstring device;
};

// The device names of every drive letter on the machine (QueryDosDevice).
std::vector<DriveDevice> CurrentDriveDevices();

// `path` with its device prefix replaced by the drive letter. A path already
// in "\??\C:\" or "\\?\C:\" form loses the prefix. False, and `out`
// untouched, when no drive matches (a path on a network redirector, say).
bool DevicePathToDrivePath(const std::wstring& path, const std::vector<DriveDevice>& drives,
                           std::wstring* out);

}  // namespace engine
