// The logger behind GetLogger: owns the appender, the default core and the
// named cores. Lock order: the core-map lock before the main lock.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "base/critical_section.h"
#include "log/log_appender.h"
#include "log/logger.h"
#include "log/logger_core.h"

namespace LogUtils {

class LoggerImpl : public Logger {
 public:
  // Reached through GetLogger; tests construct their own.
  LoggerImpl() = default;
  LoggerImpl(const LoggerImpl&) = delete;
  LoggerImpl& operator=(const LoggerImpl&) = delete;

  void SetLevel(int level) override;
  bool IsEnabled(int level) override;
  void Init(const wchar_t* path, const wchar_t* name, BOOL enable, BOOL fresh,
            DWORD size_limit) override;
  void Reset() override;
  void End() override;
  void ApplyCommandLine(const wchar_t* command_line) override;
  void Write(const LogStream& stream) override;
  std::shared_ptr<LoggerCore> GetCore(const wchar_t* module_name) override;

 private:
  bool SwitchFileExists() const;
  void ReloadSwitch();

  int default_level_ = kOff;
  BOOL level_fixed_ = FALSE;
  BOOL fresh_ = FALSE;
  DWORD size_limit_ = kDefaultSizeLimit;
  std::wstring path_;
  CCriticalSection main_lock_;
  std::shared_ptr<LogAppender> appender_;
  CCriticalSection core_map_lock_;
  std::map<std::wstring, std::shared_ptr<LoggerCoreImpl>> cores_;
  std::shared_ptr<LoggerCoreImpl> default_core_;
};

}  // namespace LogUtils
