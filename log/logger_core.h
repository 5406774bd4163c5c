// A level holder writing through the shared appender: the default core of the
// logger and the named cores handed out by GetCore. Every core takes the
// logger's main lock, which also guards the appender.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/critical_section.h"
#include "log/log_appender.h"
#include "log/logger.h"

namespace LogUtils {

// "Debug", "Info", "Err", "Off"; "?" for anything else.
const wchar_t* LevelName(int level);

struct CoreSettings {
  int level = kOff;
  BOOL level_fixed = FALSE;
  // When the file is full: stop logging instead of starting a new file.
  BOOL fresh = FALSE;
  DWORD size_limit = kDefaultSizeLimit;
};

class LoggerCoreImpl : public LoggerCore {
 public:
  // `lock` must outlive the core. An empty name is the default core.
  LoggerCoreImpl(std::wstring module_name, ILocker* lock);

  void Configure(std::shared_ptr<LogAppender> appender, const CoreSettings& settings);
  CoreSettings settings();
  // Sets the level even when it is fixed, and writes no line about it.
  void ForceLevel(int level);

  bool IsEnabled(int level) override;
  // Ignored when the level is fixed. Leaving Debug/Info writes a line, waiting
  // for the file when the core goes off; entering Debug/Info writes one too.
  void SetLevel(int level) override;
  // Applies the size limit after the write: full with `fresh` stops this core,
  // otherwise the file is deleted and logging goes on in a new one.
  void Write(const LogStream& stream) override;

 private:
  bool IsNamed() const { return !module_name_.empty(); }

  int level_ = kOff;
  BOOL level_fixed_ = FALSE;
  BOOL fresh_ = FALSE;
  DWORD size_limit_ = kDefaultSizeLimit;
  std::shared_ptr<LogAppender> appender_;
  ILocker* lock_;
  std::wstring module_name_;
};

}  // namespace LogUtils
