#include "telemetry/disk_serial.h"

#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "telemetry/hardware_text.h"

namespace telemetry {
namespace {

constexpr int kMaxDrives = 16;
constexpr int kMaxScsiPorts = 16;
constexpr int kScsiTargets = 2;  // master and slave of an IDE channel
constexpr DWORD kIdentifySize = IDENTIFY_BUFFER_SIZE;

// Not in the mingw headers: the identify request of the SCSI miniport of
// IDE/ATA controllers, and the pass-through flags.
constexpr ULONG kIoctlScsiMiniportIdentify = (0x1B /* FILE_DEVICE_SCSI */ << 16) + 0x0501;
constexpr USHORT kAtaFlagsDrdyRequired = 0x01;
constexpr USHORT kAtaFlagsDataIn = 0x02;

base::ScopedHandle OpenDevice(const std::wstring& path, DWORD access) {
  return base::ScopedHandle(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
}

std::wstring PhysicalDrivePath(int drive) {
  return L"\\\\.\\PhysicalDrive" + std::to_wstring(drive);
}

// Route 1: IDENTIFY through the SMART interface of the disk driver.
std::string SmartIdentifySerial(HANDLE device, int drive) {
  GETVERSIONINPARAMS version = {};
  DWORD returned = 0;
  if (!DeviceIoControl(device, SMART_GET_VERSION, nullptr, 0, &version, sizeof(version), &returned,
                       nullptr) ||
      version.bIDEDeviceMap == 0) {
    return std::string();
  }
  SENDCMDINPARAMS in = {};
  in.cBufferSize = kIdentifySize;
  in.irDriveRegs.bSectorCountReg = 1;
  in.irDriveRegs.bSectorNumberReg = 1;
  in.irDriveRegs.bDriveHeadReg = (drive & 1) ? 0xB0 : 0xA0;
  // The upper nibble of the map flags ATAPI devices, one bit per drive.
  in.irDriveRegs.bCommandReg = ((version.bIDEDeviceMap >> drive) & 0x10) ? ATAPI_ID_CMD : ID_CMD;
  in.bDriveNumber = static_cast<BYTE>(drive);
  std::vector<uint8_t> out(sizeof(SENDCMDOUTPARAMS) + kIdentifySize);
  if (!DeviceIoControl(device, SMART_RCV_DRIVE_DATA, &in, sizeof(in) - 1, out.data(),
                       static_cast<DWORD>(out.size()), &returned, nullptr)) {
    return std::string();
  }
  return SerialFromIdentify(out.data() + offsetof(SENDCMDOUTPARAMS, bBuffer), kIdentifySize);
}

// Route 2: the IDE miniport's own IDENTIFY, for controllers whose disk driver
// has no SMART interface.
std::string ScsiMiniportSerial(HANDLE port, int target) {
  const size_t out_size = sizeof(SENDCMDOUTPARAMS) + kIdentifySize;
  std::vector<uint8_t> buffer(sizeof(SRB_IO_CONTROL) + out_size);
  auto* srb = reinterpret_cast<SRB_IO_CONTROL*>(buffer.data());
  srb->HeaderLength = sizeof(SRB_IO_CONTROL);
  std::memcpy(srb->Signature, "SCSIDISK", 8);
  srb->Timeout = 10000;
  srb->Length = static_cast<ULONG>(out_size - 1);
  srb->ControlCode = kIoctlScsiMiniportIdentify;
  auto* in = reinterpret_cast<SENDCMDINPARAMS*>(buffer.data() + sizeof(SRB_IO_CONTROL));
  in->irDriveRegs.bCommandReg = ID_CMD;
  in->bDriveNumber = static_cast<BYTE>(target);
  DWORD returned = 0;
  if (!DeviceIoControl(port, IOCTL_SCSI_MINIPORT, buffer.data(),
                       sizeof(SRB_IO_CONTROL) + sizeof(SENDCMDINPARAMS) - 1, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
    return std::string();
  }
  return SerialFromIdentify(
      buffer.data() + sizeof(SRB_IO_CONTROL) + offsetof(SENDCMDOUTPARAMS, bBuffer), kIdentifySize);
}

// Route 3: the storage stack's device descriptor; needs no access rights.
std::string DescriptorSerial(HANDLE device) {
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::vector<uint8_t> buffer(1024);
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof(query), buffer.data(),
                       static_cast<DWORD>(buffer.size()), &returned, nullptr) ||
      returned < sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
    return std::string();
  }
  const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
  const DWORD offset = descriptor->SerialNumberOffset;
  if (offset == 0 || offset >= returned) return std::string();
  const char* serial = reinterpret_cast<const char*>(buffer.data() + offset);
  return std::string(serial, strnlen(serial, returned - offset));
}

// Route 4: IDENTIFY sent straight to the drive through ATA pass-through.
std::string AtaPassThroughSerial(HANDLE device) {
  struct Request {
    ATA_PASS_THROUGH_EX header;
    uint8_t data[kIdentifySize];
  } request = {};
  request.header.Length = sizeof(ATA_PASS_THROUGH_EX);
  request.header.AtaFlags = kAtaFlagsDataIn | kAtaFlagsDrdyRequired;
  request.header.DataTransferLength = kIdentifySize;
  request.header.TimeOutValue = 10;
  request.header.DataBufferOffset = offsetof(Request, data);
  request.header.CurrentTaskFile[6] = ID_CMD;
  DWORD returned = 0;
  if (!DeviceIoControl(device, IOCTL_ATA_PASS_THROUGH, &request, sizeof(request), &request,
                       sizeof(request), &returned, nullptr) ||
      returned < offsetof(Request, data) + 40) {
    return std::string();
  }
  return SerialFromIdentify(request.data, kIdentifySize);
}

}  // namespace

std::string SerialFromIdentify(const uint8_t* identify, size_t size) {
  std::string serial;
  if (size < 40) return serial;
  for (size_t word = 10; word < 20; ++word) {
    const char high = static_cast<char>(identify[word * 2 + 1]);
    const char low = static_cast<char>(identify[word * 2]);
    if (high == '\0') break;
    serial.push_back(high);
    if (low == '\0') break;
    serial.push_back(low);
  }
  return serial;
}

std::string ReadMidDiskSerial() {
  const DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    base::ScopedHandle device = OpenDevice(PhysicalDrivePath(drive), kReadWrite);
    if (!device) continue;
    std::string serial = TrimSpaces(SmartIdentifySerial(device.Get(), drive), false);
    if (!serial.empty()) return serial;
  }
  for (int port = 0; port < kMaxScsiPorts; ++port) {
    base::ScopedHandle device = OpenDevice(L"\\\\.\\Scsi" + std::to_wstring(port) + L":", kReadWrite);
    if (!device) continue;
    for (int target = 0; target < kScsiTargets; ++target) {
      std::string serial = TrimSpaces(ScsiMiniportSerial(device.Get(), target), false);
      if (!serial.empty()) return serial;
    }
  }
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    base::ScopedHandle device = OpenDevice(PhysicalDrivePath(drive), 0);
    if (!device) continue;
    std::string serial = TrimSpaces(DescriptorSerial(device.Get()), false);
    if (!serial.empty()) return serial;
  }
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    base::ScopedHandle device = OpenDevice(PhysicalDrivePath(drive), kReadWrite);
    if (!device) continue;
    std::string serial = TrimSpaces(AtaPassThroughSerial(device.Get()), false);
    if (!serial.empty()) return serial;
  }
  return std::string();
}

std::string ReadMid2DiskSerial() {
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    std::string serial;
    if (base::ScopedHandle device = OpenDevice(PhysicalDrivePath(drive), 0)) {
      serial = TrimSpaces(DescriptorSerial(device.Get()), true);
    }
    if (serial.empty()) {
      // The descriptor lacks the serial on some older storage drivers; SMART
      // still has it when the process may open the drive for writing.
      if (base::ScopedHandle device = OpenDevice(PhysicalDrivePath(drive), GENERIC_READ | GENERIC_WRITE)) {
        serial = TrimSpaces(SmartIdentifySerial(device.Get(), drive), true);
      }
    }
    if (!serial.empty()) return serial;
  }
  return std::string();
}

}  // namespace telemetry
