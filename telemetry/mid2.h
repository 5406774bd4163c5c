// MID2: the newer machine identifier, 44 characters: a 40-digit identifier
// (SHA-1 of the network address, disk serial and CPU description, or
// "ffffffff" + a new GUID when no adapter or disk is found), a flag byte and a
// CRC-8/MAXIM check byte, both "%02x". Cached in HKLM "SOFTWARE\Hubwright"
// "m2" (32-bit view) so that it stays stable across runs and versions.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

#include "base/critical_section.h"
#include "telemetry/machine_probe.h"

namespace telemetry {

// Flag byte bits.
enum Mid2Flag : unsigned {
  kMid2Network = 0x01,
  kMid2Disk = 0x02,
  kMid2Cpu = 0x08,
  kMid2Random = 0x10,
  kMid2Hardware = 0x20,
};

constexpr size_t kMid2Length = 44;

// True for 44 ASCII characters whose last two, read as hex, are the check
// byte of the first 42. `narrow` receives the value.
bool IsValidMid2(std::wstring_view value, std::string* narrow);

// Appends the flag byte and the check byte to a 40-character identifier,
// first replacing its leading eight characters with "eeeeeeee" when the
// process is not elevated (random identifiers keep their "ffffffff").
std::string FinishMid2(std::string identifier, unsigned flags, bool elevated);

// Runs the whole MID2 procedure once against `probe` and the registry cache,
// storing a new value (the previous one goes to "m2_old") when the rules call
// for it.
std::string ComputeMid2(IMachineProbe& probe);

}  // namespace telemetry

// Extension hooks of the identifier object. This system has no extensions.
class IExtend {
 public:
  virtual LONG STDMETHODCALLTYPE ExtendSet(DWORD id, const void* data, DWORD size) = 0;
  virtual LONG STDMETHODCALLTYPE ExtendGet(DWORD id, void* data, DWORD size) = 0;

 protected:
  ~IExtend() = default;
};

class CEmptyExtendImpl : public IExtend {
 public:
  LONG STDMETHODCALLTYPE ExtendSet(DWORD, const void*, DWORD) override { return 0; }
  LONG STDMETHODCALLTYPE ExtendGet(DWORD, void*, DWORD) override { return 0; }

 protected:
  ~CEmptyExtendImpl() = default;
};

// {5B0E8D3A-6C41-4F7B-9E2D-1A8C3F60B947}
extern const IID IID_INewMID;

struct INewMID : public IUnknown {
  // Copies MID2 into `buffer` of `length` characters: E_INVALIDARG below 50,
  // E_FAIL when no identifier of fewer than 50 characters could be made.
  virtual HRESULT STDMETHODCALLTYPE GetMID2(wchar_t* buffer, DWORD length) = 0;
};

// The process-wide MID2 object; computes MID2 on first request and keeps it.
class CVnkMID2 : public INewMID, public CEmptyExtendImpl {
 public:
  static constexpr DWORD kMinBuffer = 50;

  // `probe` is not owned and must outlive the object. Reference count 1.
  explicit CVnkMID2(telemetry::IMachineProbe* probe);
  CVnkMID2(const CVnkMID2&) = delete;
  CVnkMID2& operator=(const CVnkMID2&) = delete;

  // The process-wide object on the real machine; null only when it could not
  // be allocated. Concurrent first callers wait for the one that builds it.
  static CVnkMID2* Instance();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetMID2(wchar_t* buffer, DWORD length) override;

 private:
  virtual ~CVnkMID2() = default;

  telemetry::IMachineProbe* probe_;
  CCriticalSection lock_;
  bool computed_ = false;
  wchar_t mid2_[kMinBuffer] = {};
  volatile LONG refs_ = 1;
};

// MID2 of this machine through the process-wide object; see INewMID::GetMID2.
HRESULT GetMID2(wchar_t* buffer, DWORD length);
