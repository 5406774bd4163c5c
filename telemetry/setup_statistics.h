// The setup's statistics facade: one per process. It adds the extras every
// event carries ("os", "new_user", "ms_mid", then "interval") and reports
// through the process-wide CVnkStatisticImpl, always at 100 %.
#pragma once

#include <windows.h>

#include <string>

#include "base/critical_section.h"
#include "telemetry/statistic_impl.h"

class SetupStatistics {
 public:
  // Reports through the process-wide reporter.
  SetupStatistics();
  // Reports through `impl` (not owned; tests).
  explicit SetupStatistics(CVnkStatisticImpl* impl);
  SetupStatistics(const SetupStatistics&) = delete;
  SetupStatistics& operator=(const SetupStatistics&) = delete;

  // Starts the interval clock, builds the common extras and initialises the
  // reporter. "{host}" in `url_template` becomes the configured statistics
  // host (PELORIX_STAT_HOST).
  void Init(int product_id, const wchar_t* default_type, const wchar_t* url_template);
  void SetAppVersion(const std::wstring& version);
  void SetPid(const std::wstring& pid);
  void SetApp(const std::wstring& app);
  // False once the install task has found an earlier installation.
  void SetNewUser(bool new_user);

  // Reports `action` with `extra` ("&ex_ary[key]=value" pairs, appended as
  // given). True when a request was started (asynchronous) or delivered
  // (synchronous; the wait is bounded by kSyncSendTimeoutMs).
  bool Report(const wchar_t* action, const wchar_t* extra = L"", bool async = true,
              const wchar_t* type = nullptr, const wchar_t* url_template = nullptr);

  // "&ex_ary[os]=...&ex_ary[new_user]=...&ex_ary[ms_mid]=..." as sent.
  std::wstring common_extra() const;

 private:
  void BuildCommonExtra();

  CVnkStatisticImpl* impl_;
  mutable CCriticalSection lock_;
  std::wstring os_;
  std::wstring ms_mid_;
  bool new_user_ = true;
  std::wstring common_extra_;
  ULONGLONG start_ticks_ = 0;
};

// The process-wide facade, created on first use.
SetupStatistics* Statistics();

namespace telemetry {

// Milliseconds since boot, 64-bit where the system has GetTickCount64.
ULONGLONG TickCount64();

// "major.minor.build" of the running Windows.
std::wstring OsVersionText();

// The "MachineGuid" of HKLM\SOFTWARE\Microsoft\Cryptography (the native view
// on 64-bit Windows); empty when unreadable.
std::wstring MachineGuid();

// `url_template` with "{host}" replaced by `host`.
std::wstring FillStatisticsHost(std::wstring url_template, const wchar_t* host);

}  // namespace telemetry
