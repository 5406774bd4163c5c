// Everything the machine identifiers learn from the machine, behind one
// interface so that the cache rules can be proven with chosen answers.
#pragma once

#include <windows.h>

#include <string>

#include "base/critical_section.h"

namespace telemetry {

class IMachineProbe {
 public:
  virtual ~IMachineProbe() = default;

  // MID's parts; each is empty when it cannot be obtained.
  virtual std::string MidCpuPart() = 0;
  virtual std::string MidDiskPart() = 0;
  virtual std::string MidNetworkPart() = 0;

  // MID2's parts; each is empty when it cannot be obtained.
  virtual std::string Mid2NetworkPart() = 0;
  virtual std::string Mid2DiskPart() = 0;
  virtual std::string Mid2CpuPart() = 0;

  // Whether MID2 may be trusted to describe the machine: always before
  // Windows Vista; from Vista on, an elevated token (or one that cannot be
  // asked).
  virtual bool IsElevated() = 0;

  virtual bool NewGuid(GUID* guid) = 0;
  virtual void Wait(DWORD milliseconds) = 0;
};

// The real machine. The CPU parts are read once and remembered; disks and
// adapters are asked on every call because they may appear late in a boot.
class CSystemMachineProbe : public IMachineProbe {
 public:
  std::string MidCpuPart() override;
  std::string MidDiskPart() override;
  std::string MidNetworkPart() override;
  std::string Mid2NetworkPart() override;
  std::string Mid2DiskPart() override;
  std::string Mid2CpuPart() override;
  bool IsElevated() override;
  bool NewGuid(GUID* guid) override;
  void Wait(DWORD milliseconds) override;

 private:
  void ReadCpuOnce();

  CCriticalSection cpu_lock_;
  bool cpu_read_ = false;
  std::string mid_cpu_;
  std::string mid2_cpu_;
};

// The process-wide real probe, created on first use.
IMachineProbe& SystemMachineProbe();

// Token elevation as IsElevated() describes it.
bool IsProcessElevated();

}  // namespace telemetry
