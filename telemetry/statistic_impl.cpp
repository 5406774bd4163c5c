#include "telemetry/statistic_impl.h"

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "base/file_version.h"
#include "base/registry.h"
#include "base/scoped_handle.h"
#include "base/system_library.h"
#include "telemetry/machine_id.h"
#include "telemetry/mid2.h"

namespace telemetry {
namespace {

constexpr DWORD kIdBuffer = 260;
constexpr DWORD kMaxSamplingBytes = 520;

std::wstring ThisModulePath() {
  HMODULE module = nullptr;
  // The setup may run inside another program: the version wanted is that of
  // the module holding this code, not of the process's executable.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ThisModulePath), &module)) {
    return std::wstring();
  }
  wchar_t path[1024];
  const DWORD n = GetModuleFileNameW(module, path, 1024);
  return n && n < 1024 ? std::wstring(path, n) : std::wstring();
}

int DrawThreshold() {
  srand(GetTickCount());
  return rand() % 100 + 1;
}

}  // namespace

void ReplacePlaceholder(std::wstring* url, const wchar_t* placeholder, const std::wstring& value) {
  const size_t length = wcslen(placeholder);
  size_t pos = url->find(placeholder);
  if (pos == std::wstring::npos || pos == 0) return;
  for (; pos != std::wstring::npos; pos = url->find(placeholder, pos + value.size())) {
    url->replace(pos, length, value);
  }
}

}  // namespace telemetry

int CVnkStatisticImpl::Init(int product_id, const wchar_t* type, const wchar_t* url_template) {
  if (product_id < 0) return 0;
  CAutoLocker lock(lock_);
  if (initialized()) return 1;
  if (!product_info_given_) product_info_ = trust::SharedSendrake();
  if (product_info_ && !product_info_->ready()) product_info_.reset();
  if (type && *type) default_type_ = type;
  if (url_template && *url_template) {
    default_template_ = url_template;
  } else if (product_info_) {
    default_template_ = product_info_->GetValue(trust::kStatsUrlKey);
  }
  FillIdentity();
  TakeProductValues();
  ReadSamplingThreshold();
  product_id_ = product_id;
  return 1;
}

void CVnkStatisticImpl::FillIdentity() {
  wchar_t buffer[telemetry::kIdBuffer];
  if (mid.empty() && GetMID(buffer, telemetry::kIdBuffer)) mid = buffer;
  if (mid2.empty() && SUCCEEDED(GetMID2(buffer, telemetry::kIdBuffer))) mid2 = buffer;
  if (modver.empty()) modver = base::FixedFileVersion(telemetry::ThisModulePath());
}

void CVnkStatisticImpl::SetProductInfo(std::shared_ptr<trust::SendrakeImpl> info) {
  CAutoLocker lock(lock_);
  product_info_ = std::move(info);
  product_info_given_ = true;
}

// The product's own name, channel and program version, where the helper
// knows them; the setup may still set its own afterwards.
void CVnkStatisticImpl::TakeProductValues() {
  if (!product_info_) return;
  const std::wstring product_app = product_info_->GetValue(trust::kAppKey);
  if (!product_app.empty()) app = product_app;
  const std::wstring channel = product_info_->GetValue(trust::kChannelIdKey);
  if (!channel.empty()) pid = channel;
  const std::wstring version = base::FixedFileVersion(product_info_->GetValue(trust::kAppPathKey));
  if (!version.empty()) appver = version;
}

void CVnkStatisticImpl::ReadSamplingThreshold() {
  base::ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSamplingKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_32KEY,
                    key.Receive()) != ERROR_SUCCESS) {
    // Without the key the threshold holds for this run only.
    threshold_ = telemetry::DrawThreshold();
    return;
  }
  std::wstring stored;
  int value = 0;
  if (base::RegReadString(key.Get(), L"", kSamplingValue, &stored, telemetry::kMaxSamplingBytes)) {
    value = _wtoi(stored.c_str());
  }
  if (value >= 1 && value <= 100) {
    threshold_ = value;
    return;
  }
  threshold_ = telemetry::DrawThreshold();
  const std::wstring text = std::to_wstring(threshold_);
  RegSetValueExW(key.Get(), kSamplingValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

void CVnkStatisticImpl::SetPid(const std::wstring& value) {
  CAutoLocker lock(lock_);
  pid = value;
}

void CVnkStatisticImpl::SetAppVersion(const std::wstring& value) {
  CAutoLocker lock(lock_);
  appver = value;
}

void CVnkStatisticImpl::SetApp(const std::wstring& value) {
  CAutoLocker lock(lock_);
  app = value;
}

void CVnkStatisticImpl::SetModVersion(const std::wstring& value) {
  CAutoLocker lock(lock_);
  modver = value;
}

void CVnkStatisticImpl::SetFixedExtra(const std::wstring& value) {
  CAutoLocker lock(lock_);
  fixed_extra_ = value;
}

std::wstring CVnkStatisticImpl::BuildUrl(int percentage, const wchar_t* action, const wchar_t* type,
                                         const wchar_t* url_template, const wchar_t* extra) {
  // Setters may run on another thread while a worker reports: take a copy.
  CVnkStatisticBaseInfo identity;
  std::wstring url, default_type, fixed_extra;
  {
    CAutoLocker lock(lock_);
    if (!initialized() || !action) return std::wstring();
    identity = *this;
    url = url_template && *url_template ? url_template : default_template_;
    default_type = default_type_;
    fixed_extra = fixed_extra_;
  }
  std::wstring action_text = action;
  if (percentage != 100) {
    wchar_t sampled[32];
    swprintf(sampled, 32, L"%dper_", percentage);
    action_text = sampled + action_text;
  }
  telemetry::ReplacePlaceholder(&url, L"{type}", type && *type ? type : default_type);
  telemetry::ReplacePlaceholder(&url, L"{action}", action_text);
  telemetry::ReplacePlaceholder(&url, L"{appver}", identity.appver);
  telemetry::ReplacePlaceholder(&url, L"{modver}", identity.modver);
  telemetry::ReplacePlaceholder(&url, L"{mid}", identity.mid);
  telemetry::ReplacePlaceholder(&url, L"{mid2}", identity.mid2);
  telemetry::ReplacePlaceholder(&url, L"{pid}", identity.pid);
  telemetry::ReplacePlaceholder(&url, L"{app}", identity.app);
  url += fixed_extra;
  if (extra) url += extra;
  return url;
}

int CVnkStatisticImpl::Report(int percentage, const wchar_t* action, const wchar_t* type,
                              const wchar_t* url_template, bool async, const wchar_t* extra,
                              const telemetry::StatCompletion& completion) {
  if (percentage < threshold_) return 0;
  const std::wstring url = BuildUrl(percentage, action, type, url_template, extra);
  if (url.empty()) return 0;
  return SendUrl(url, async, completion) ? 1 : 0;
}

bool CVnkStatisticImpl::SendUrl(const std::wstring& url, bool async,
                                const telemetry::StatCompletion& completion) {
  // No query key is set in this setup, so URLs go out as built.
  return Send(url, std::wstring(), async, completion);
}

telemetry::StatCompletion CVnkStatisticImpl::Guarded(const telemetry::StatCompletion& completion) {
  if (!completion) return {};
  return [this, completion](bool succeeded) {
    CAutoLocker lock(lock_);
    if (initialized()) completion(succeeded);
  };
}

bool CVnkStatisticImpl::Send(const std::wstring& url, const std::wstring& target_file, bool async,
                             const telemetry::StatCompletion& completion) {
  if (async) {
    if (!telemetry::StartAsyncTransfer(url, target_file, Guarded(completion))) return false;
    InterlockedIncrement(&async_sends_);
    return true;
  }
  // The last event of a run is sent while the user waits for the setup to
  // end: an endpoint that is down or never answers may only cost a bounded
  // delay.
  const bool succeeded = telemetry::TransferWithin(url, target_file, kSyncSendTimeoutMs);
  if (const telemetry::StatCompletion guarded = Guarded(completion)) guarded(succeeded);
  return succeeded;
}
