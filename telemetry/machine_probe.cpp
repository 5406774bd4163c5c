#include "telemetry/machine_probe.h"

#include <objbase.h>

#include "base/os_version.h"
#include "base/scoped_handle.h"
#include "base/singleton.h"
#include "telemetry/adapter_address.h"
#include "telemetry/cpu_info.h"
#include "telemetry/disk_serial.h"

namespace telemetry {

void CSystemMachineProbe::ReadCpuOnce() {
  CAutoLocker lock(cpu_lock_);
  if (cpu_read_) return;
  const CpuIdentity cpu = ReadCpuIdentity();
  mid_cpu_ = FormatMidCpuPart(cpu);
  mid2_cpu_ = FormatMid2CpuPart(cpu);
  cpu_read_ = true;
}

std::string CSystemMachineProbe::MidCpuPart() {
  ReadCpuOnce();
  return mid_cpu_;
}

std::string CSystemMachineProbe::Mid2CpuPart() {
  ReadCpuOnce();
  return mid2_cpu_;
}

std::string CSystemMachineProbe::MidDiskPart() { return ReadMidDiskSerial(); }
std::string CSystemMachineProbe::MidNetworkPart() { return ReadMidNetworkAddress(); }
std::string CSystemMachineProbe::Mid2NetworkPart() { return ReadMid2NetworkAddress(); }
std::string CSystemMachineProbe::Mid2DiskPart() { return ReadMid2DiskSerial(); }
bool CSystemMachineProbe::IsElevated() { return IsProcessElevated(); }
bool CSystemMachineProbe::NewGuid(GUID* guid) { return SUCCEEDED(CoCreateGuid(guid)); }
void CSystemMachineProbe::Wait(DWORD milliseconds) { Sleep(milliseconds); }

IMachineProbe& SystemMachineProbe() { return *CSingletonT<CSystemMachineProbe>::GetInstance(); }

bool IsProcessElevated() {
  if (base::CurrentNtVersion().major < 6) return true;
  base::ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return true;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof(elevation), &size)) {
    return true;
  }
  return elevation.TokenIsElevated != 0;
}

}  // namespace telemetry
