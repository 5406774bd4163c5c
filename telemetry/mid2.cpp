#include "telemetry/mid2.h"

#include <atomic>
#include <cstdio>
#include <new>

#include "base/md5.h"
#include "base/registry.h"
#include "telemetry/crc8.h"
#include "telemetry/hardware_text.h"
#include "telemetry/sha1.h"

// {5B0E8D3A-6C41-4F7B-9E2D-1A8C3F60B947}
const IID IID_INewMID = {0x5b0e8d3a, 0x6c41, 0x4f7b, {0x9e, 0x2d, 0x1a, 0x8c, 0x3f, 0x60, 0xb9, 0x47}};

namespace telemetry {
namespace {

constexpr wchar_t kMid2Key[] = L"SOFTWARE\\Hubwright";
constexpr REGSAM kView = KEY_WOW64_32KEY;
constexpr char kRandomPrefix[] = "ffffffff";
constexpr char kNotElevatedPrefix[] = "eeeeeeee";
constexpr size_t kIdentifierLength = 40;
constexpr DWORD kRegatherDelayMs = 500;

struct Mid2Parts {
  std::string network;
  std::string disk;
  std::string cpu;

  unsigned Bits() const {
    unsigned bits = 0;
    if (!network.empty()) bits |= kMid2Network;
    if (!disk.empty()) bits |= kMid2Disk;
    if (!cpu.empty()) bits |= kMid2Cpu;
    return bits;
  }
  bool HasNetworkOrDisk() const { return !network.empty() || !disk.empty(); }
  bool HasNetworkAndDisk() const { return !network.empty() && !disk.empty(); }
};

Mid2Parts Gather(IMachineProbe& probe) {
  Mid2Parts parts;
  parts.network = probe.Mid2NetworkPart();
  parts.disk = probe.Mid2DiskPart();
  parts.cpu = probe.Mid2CpuPart();
  return parts;
}

// A later gathering completes an earlier one; what it found wins.
Mid2Parts Merge(const Mid2Parts& earlier, const Mid2Parts& later) {
  Mid2Parts merged = later;
  if (merged.network.empty()) merged.network = earlier.network;
  if (merged.disk.empty()) merged.disk = earlier.disk;
  if (merged.cpu.empty()) merged.cpu = earlier.cpu;
  return merged;
}

bool IsRandom(std::string_view mid2) { return mid2.compare(0, 8, kRandomPrefix) == 0; }

std::string Hex2(unsigned value) {
  char text[3];
  std::snprintf(text, sizeof(text), "%02x", value & 0xFF);
  return text;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

std::string Build(const Mid2Parts& parts, bool elevated, IMachineProbe& probe) {
  std::string identifier;
  unsigned flags;
  if (parts.HasNetworkOrDisk()) {
    identifier = Sha1Hex(parts.network + parts.disk + parts.cpu);
    flags = parts.Bits() | kMid2Hardware;
  } else {
    GUID guid;
    if (probe.NewGuid(&guid)) {
      identifier = kRandomPrefix + base::HexLower(reinterpret_cast<const uint8_t*>(&guid), sizeof(guid));
    }
    flags = kMid2Random;
  }
  if (identifier.empty()) identifier.assign(kIdentifierLength, '0');
  return FinishMid2(std::move(identifier), flags, elevated);
}

void Store(const std::string& mid2, const std::wstring& previous) {
  // No registry transaction is in use by this program, so the plain (32-bit
  // view) key is written.
  if (!previous.empty() && !EqualsAsciiNoCase(std::wstring_view(previous), mid2)) {
    base::RegWriteString(HKEY_LOCAL_MACHINE, kMid2Key, L"m2_old", previous, false, kView);
  }
  base::RegWriteString(HKEY_LOCAL_MACHINE, kMid2Key, L"m2", std::wstring(mid2.begin(), mid2.end()),
                       false, kView);
}

}  // namespace

bool IsValidMid2(std::wstring_view value, std::string* narrow) {
  narrow->clear();
  if (value.size() != kMid2Length) return false;
  for (wchar_t c : value) {
    if (c == 0 || c > 0x7F) return false;
  }
  const int high = HexDigit(value[kMid2Length - 2]), low = HexDigit(value[kMid2Length - 1]);
  if (high < 0 || low < 0) return false;
  std::string text(value.begin(), value.end());
  if (Crc8Maxim(text.data(), kMid2Length - 2) != high * 16 + low) return false;
  *narrow = std::move(text);
  return true;
}

std::string FinishMid2(std::string identifier, unsigned flags, bool elevated) {
  if (!elevated && !IsRandom(identifier)) identifier.replace(0, 8, kNotElevatedPrefix);
  identifier += Hex2(flags);
  identifier += Hex2(Crc8Maxim(identifier));
  return identifier;
}

std::string ComputeMid2(IMachineProbe& probe) {
  const bool elevated = probe.IsElevated();
  std::wstring previous;
  base::RegReadString(HKEY_LOCAL_MACHINE, kMid2Key, L"m2", &previous, 0, kView);
  std::string cached;
  const bool valid = IsValidMid2(previous, &cached);
  const bool cached_random = valid && IsRandom(cached);
  // Without elevation the hardware may not be fully readable; a valid value
  // from an earlier (elevated) run is better than a weaker new one.
  if (valid && !elevated) return cached;

  const Mid2Parts first = Gather(probe);
  std::string built;
  if (first.HasNetworkOrDisk() && valid) {
    built = Build(first, elevated, probe);
    if (cached_random || EqualsAsciiNoCase(built, cached)) return cached;
  } else if (!first.HasNetworkOrDisk() && cached_random) {
    return cached;  // a random identifier stays stable across runs
  }

  // Adapters and disks can still be coming up early in a session: one more
  // look before an incomplete answer is settled on.
  Mid2Parts parts = first;
  bool found_more = false;
  if (!first.HasNetworkAndDisk()) {
    probe.Wait(kRegatherDelayMs);
    const Mid2Parts second = Gather(probe);
    found_more = (second.Bits() & ~first.Bits() & (kMid2Network | kMid2Disk)) != 0;
    parts = Merge(first, second);
  }

  std::string mid2;
  if (!built.empty() && !found_more) {
    mid2 = built;
  } else {
    mid2 = Build(parts, elevated, probe);
    if (IsRandom(mid2) && cached_random) return cached;
  }
  Store(mid2, previous);
  return mid2;
}

}  // namespace telemetry

CVnkMID2::CVnkMID2(telemetry::IMachineProbe* probe) : probe_(probe) {}

CVnkMID2* CVnkMID2::Instance() {
  // Constant-initialised, so usable even when the module's constructors never
  // ran (Install loaded by another program). 0 = none, 1 = being built, 2 = ready.
  static std::atomic<LONG> state{0};
  static std::atomic<CVnkMID2*> instance{nullptr};
  for (;;) {
    LONG expected = 0;
    if (state.compare_exchange_strong(expected, 1)) {
      CVnkMID2* created = new (std::nothrow) CVnkMID2(&telemetry::SystemMachineProbe());
      if (!created) {
        state.store(0);
        return nullptr;
      }
      instance.store(created);
      state.store(2);
      return created;
    }
    if (expected == 2) return instance.load();
    Sleep(1);
  }
}

HRESULT CVnkMID2::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_INewMID)) {
    *object = static_cast<INewMID*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CVnkMID2::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG CVnkMID2::Release() {
  const LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT CVnkMID2::GetMID2(wchar_t* buffer, DWORD length) {
  if (!buffer || length < kMinBuffer) return E_INVALIDARG;
  CAutoLocker lock(lock_);
  if (!computed_) {
    const std::string mid2 = telemetry::ComputeMid2(*probe_);
    if (mid2.size() >= kMinBuffer) return E_FAIL;
    std::copy(mid2.begin(), mid2.end(), mid2_);
    mid2_[mid2.size()] = L'\0';
    computed_ = true;
  }
  lstrcpynW(buffer, mid2_, static_cast<int>(length));
  return S_OK;
}

HRESULT GetMID2(wchar_t* buffer, DWORD length) {
  if (!buffer || length < CVnkMID2::kMinBuffer) return E_INVALIDARG;
  CVnkMID2* mid2 = CVnkMID2::Instance();
  return mid2 ? mid2->GetMID2(buffer, length) : E_OUTOFMEMORY;
}
