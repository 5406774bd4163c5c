// The statistics reporter: builds one request URL per event from a template
// with placeholders, applies the machine's sampling threshold and hands the
// URL to the transport (asynchronously, or synchronously with a bounded wait).
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/critical_section.h"
#include "trust/sendrake_impl.h"
#include "telemetry/statistic_transport.h"

// The identity carried by every request.
class CVnkStatisticBaseInfo {
 public:
  std::wstring mid;
  std::wstring mid2;
  std::wstring pid;
  std::wstring modver;
  std::wstring app;
  std::wstring appver;
};

class CVnkStatisticImpl : public CVnkStatisticBaseInfo {
 public:
  // HKLM key (32-bit view) and value holding this machine's sampling threshold.
  static constexpr wchar_t kSamplingKey[] = L"SOFTWARE\\Hubwright";
  static constexpr wchar_t kSamplingValue[] = L"stat_rand";
  // How long a synchronous send may hold its caller up.
  static constexpr DWORD kSyncSendTimeoutMs = 5000;

  CVnkStatisticImpl() = default;
  virtual ~CVnkStatisticImpl() = default;
  CVnkStatisticImpl(const CVnkStatisticImpl&) = delete;
  CVnkStatisticImpl& operator=(const CVnkStatisticImpl&) = delete;

  // Only the first call with a non-negative product id has an effect: it
  // fills the identity (MID, MID2, the executable's version) and reads the
  // sampling threshold. Null `type` / `url_template` keep the defaults.
  // Returns 0 for a negative product id, else 1.
  int Init(int product_id, const wchar_t* type, const wchar_t* url_template);

  // Sends one event unless `percentage` is below this machine's threshold,
  // Init has not succeeded or `action` is null. Null `type` / `url_template`
  // use the defaults; `extra` is appended as given. Returns 1 when a request
  // was started (async) or delivered (sync), else 0. `completion` runs on the
  // sending thread (async) or before Report returns (sync).
  int Report(int percentage, const wchar_t* action, const wchar_t* type, const wchar_t* url_template,
             bool async, const wchar_t* extra, const telemetry::StatCompletion& completion = {});

  // Identity and fixed parts that the setup supplies after Init.
  void SetPid(const std::wstring& value);
  void SetAppVersion(const std::wstring& value);
  void SetApp(const std::wstring& value);
  void SetModVersion(const std::wstring& value);
  void SetFixedExtra(const std::wstring& value);

  // The URL an event would be sent to (placeholders filled, extras
  // appended); empty when Init has not succeeded.
  std::wstring BuildUrl(int percentage, const wchar_t* action, const wchar_t* type,
                        const wchar_t* url_template, const wchar_t* extra);

  // The product information helper Init consults; without one it takes the
  // helper of this module's own folder. Call before Init.
  void SetProductInfo(std::shared_ptr<trust::SendrakeImpl> info);

  bool initialized() const { return product_id_ >= 0; }
  int threshold() const { return threshold_; }
  LONG async_sends() const { return async_sends_; }

 protected:
  virtual bool SendUrl(const std::wstring& url, bool async, const telemetry::StatCompletion& completion);
  virtual bool Send(const std::wstring& url, const std::wstring& target_file, bool async,
                    const telemetry::StatCompletion& completion);

 private:
  void FillIdentity();
  void TakeProductValues();
  void ReadSamplingThreshold();
  telemetry::StatCompletion Guarded(const telemetry::StatCompletion& completion);

  int threshold_ = 100;
  int product_id_ = -1;
  volatile LONG async_sends_ = 0;
  std::wstring default_template_;
  std::wstring default_type_ = L"install";
  CCriticalSection lock_;
  std::wstring fixed_extra_;
  std::shared_ptr<trust::SendrakeImpl> product_info_;
  bool product_info_given_ = false;
};

namespace telemetry {

// Replaces every occurrence of `placeholder` in `url`, but only when its
// first occurrence lies after the URL's first character.
void ReplacePlaceholder(std::wstring* url, const wchar_t* placeholder, const std::wstring& value);

}  // namespace telemetry
