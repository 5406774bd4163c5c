// The setup's statistics facade. No endpoint is wired up yet: the calls keep
// their final places in the setup run, but nothing is sent and Report says so
// by returning false.
#pragma once

#include <string>

#include "base/singleton.h"

class SetupStatistics {
 public:
  void Init(int product_id, const wchar_t* default_type, const wchar_t* url_template) {}
  void SetAppVersion(const std::wstring& version) { app_version_ = version; }
  void SetPid(const std::wstring& pid) { pid_ = pid; }
  const std::wstring& app_version() const { return app_version_; }
  const std::wstring& pid() const { return pid_; }

  // Reports `action` with `extra` ("&ex_ary[key]=value" pairs). True when a
  // request was started (asynchronous) or sent (synchronous).
  bool Report(const wchar_t* action, const wchar_t* extra = L"", bool async = true) { return false; }

 private:
  std::wstring app_version_;
  std::wstring pid_;
};

inline SetupStatistics* Statistics() { return CSingletonT<SetupStatistics>::GetInstance(); }
