#include "telemetry/setup_statistics.h"

#include "base/os_version.h"
#include "base/registry.h"
#include "base/singleton.h"
#include "generated/stat_endpoint.h"

namespace telemetry {

ULONGLONG TickCount64() {
  // Looked up by name: the executable must still load on Windows XP, where
  // the run ends at the version gate.
  using Fn = ULONGLONG(WINAPI*)();
  static const Fn tick_count64 = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
  return tick_count64 ? tick_count64() : GetTickCount();
}

std::wstring OsVersionText() {
  base::NtVersion version;
  if (!base::QueryNtVersion(&version)) return std::wstring();
  return std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) + L"." +
         std::to_wstring(version.build);
}

std::wstring MachineGuid() {
  std::wstring guid;
  base::RegReadString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", L"MachineGuid", &guid, 0,
                      base::Is64BitSystem() ? KEY_WOW64_64KEY : 0);
  return guid;
}

std::wstring FillStatisticsHost(std::wstring url_template, const wchar_t* host) {
  ReplacePlaceholder(&url_template, L"{host}", host);
  return url_template;
}

}  // namespace telemetry

SetupStatistics::SetupStatistics() : impl_(CSingletonT<CVnkStatisticImpl>::GetInstance()) {}

SetupStatistics::SetupStatistics(CVnkStatisticImpl* impl) : impl_(impl) {}

void SetupStatistics::Init(int product_id, const wchar_t* default_type, const wchar_t* url_template) {
  {
    CAutoLocker lock(lock_);
    start_ticks_ = telemetry::TickCount64();
    os_ = telemetry::OsVersionText();
    ms_mid_ = telemetry::MachineGuid();
    BuildCommonExtra();
  }
  const std::wstring url =
      telemetry::FillStatisticsHost(url_template ? url_template : L"", kStatisticsHost);
  impl_->Init(product_id, default_type, url.c_str());
}

void SetupStatistics::BuildCommonExtra() {
  common_extra_ = L"&ex_ary[os]=" + os_ + L"&ex_ary[new_user]=" + (new_user_ ? L"1" : L"0") +
                  L"&ex_ary[ms_mid]=" + ms_mid_;
}

void SetupStatistics::SetAppVersion(const std::wstring& version) { impl_->SetAppVersion(version); }

void SetupStatistics::SetPid(const std::wstring& pid) { impl_->SetPid(pid); }

void SetupStatistics::SetApp(const std::wstring& app) { impl_->SetApp(app); }

void SetupStatistics::SetNewUser(bool new_user) {
  CAutoLocker lock(lock_);
  new_user_ = new_user;
  BuildCommonExtra();
}

std::wstring SetupStatistics::common_extra() const {
  CAutoLocker lock(lock_);
  return common_extra_;
}

bool SetupStatistics::Report(const wchar_t* action, const wchar_t* extra, bool async, const wchar_t* type,
                             const wchar_t* url_template) {
  std::wstring all_extra;
  {
    CAutoLocker lock(lock_);
    const ULONGLONG seconds = (telemetry::TickCount64() - start_ticks_) / 1000;
    all_extra = common_extra_ + L"&ex_ary[interval]=" + std::to_wstring(seconds);
  }
  if (extra) all_extra += extra;
  const std::wstring url =
      url_template ? telemetry::FillStatisticsHost(url_template, kStatisticsHost) : std::wstring();
  return impl_->Report(100, action, type, url_template ? url.c_str() : nullptr, async, all_extra.c_str()) != 0;
}

SetupStatistics* Statistics() { return CSingletonT<SetupStatistics>::GetInstance(); }
