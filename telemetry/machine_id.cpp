#include "telemetry/machine_id.h"

#include <algorithm>

#include "base/registry.h"
#include "base/string_conv.h"
#include "telemetry/hardware_text.h"
#include "telemetry/mid_digest.h"

namespace telemetry {
namespace {

constexpr wchar_t kMidKey[] = L"Software\\Hubwright";
constexpr REGSAM kView = KEY_WOW64_32KEY;
constexpr size_t kMidLength = 32;
constexpr size_t kMaxSourceText = 4096;

// A valid cache is 64 ASCII characters whose second half is the MID digest of
// the first.
bool ReadValidCache(const std::wstring& stored, std::string* mid) {
  if (stored.size() != 2 * kMidLength) return false;
  if (std::any_of(stored.begin(), stored.end(), [](wchar_t c) { return c == 0 || c > 0x7F; })) {
    return false;
  }
  const std::string narrow(stored.begin(), stored.end());
  const std::string head = narrow.substr(0, kMidLength);
  if (!EqualsAsciiNoCase(MidDigest(head), std::string_view(narrow).substr(kMidLength))) return false;
  *mid = head;
  return true;
}

}  // namespace

std::string ComputeMid(IMachineProbe& probe) {
  std::wstring stored;
  const bool has_stored =
      base::RegReadString(HKEY_LOCAL_MACHINE, kMidKey, L"mid", &stored, 0, kView);
  std::string mid;
  if (has_stored && ReadValidCache(stored, &mid)) return mid;

  std::string text = probe.MidCpuPart();
  text += probe.MidDiskPart();
  text += probe.MidNetworkPart();
  if (text.size() > kMaxSourceText) text.resize(kMaxSourceText);
  if (text.empty()) return MidDigest(kMidFallbackText);

  mid = MidDigest(text);
  const std::wstring wide_mid(mid.begin(), mid.end());
  if (has_stored && stored != wide_mid) {
    base::RegWriteString(HKEY_LOCAL_MACHINE, kMidKey, L"mid_old", stored, false, kView);
  }
  const std::string value = mid + MidDigest(mid);
  base::RegWriteString(HKEY_LOCAL_MACHINE, kMidKey, L"mid", std::wstring(value.begin(), value.end()),
                       false, kView);
  return mid;
}

}  // namespace telemetry

BOOL GetMID(wchar_t* buffer, DWORD length) {
  if (!buffer || length == 0) return FALSE;
  const std::wstring mid = base::AnsiToWide(telemetry::ComputeMid(telemetry::SystemMachineProbe()));
  const size_t n = std::min<size_t>(mid.size(), length - 1);
  std::copy_n(mid.data(), n, buffer);
  buffer[n] = L'\0';
  return TRUE;
}
