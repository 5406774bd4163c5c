// LogUtils: the process-wide logger of both deliverables. It writes UTF-8 lines
// to one log file that several processes may share, caps the file size, and
// lets a switch file ("<log path>.on") or the command line change the level
// while the program runs.
//
// A statement tests the level before it builds any text:
//   LOG_INFO << "install succ. path=" << path;
//   LOG_CORE_ERR(core) << "open failed: " << GetLastError();
#pragma once

#include <windows.h>

#include <memory>

#include "log/log_stream.h"

namespace LogUtils {

// A message of level L is written when L >= the current level; kOff writes
// nothing.
enum Level : int { kDebug = 0, kInfo = 1, kErr = 2, kOff = 3 };

constexpr DWORD kDefaultSizeLimit = 100 * 1024 * 1024;

// A level holder bound to the shared log file. The default core has no name;
// named cores (GetCore) let one module be switched on or off on its own.
class LoggerCore {
 public:
  virtual ~LoggerCore() = default;
  virtual bool IsEnabled(int level) = 0;
  virtual void SetLevel(int level) = 0;
  // The caller has already tested IsEnabled.
  virtual void Write(const LogStream& stream) = 0;
};

class Logger {
 public:
  virtual ~Logger() = default;
  virtual void SetLevel(int level) = 0;
  // False before Init.
  virtual bool IsEnabled(int level) = 0;
  // `enable` 0 starts at kOff, else kInfo; an existing switch file raises the
  // level to kDebug. `fresh`: delete the file when this process is the first
  // to open it, and stop (rather than start a new file) when it is full.
  virtual void Init(const wchar_t* path, const wchar_t* name, BOOL enable, BOOL fresh,
                    DWORD size_limit) = 0;
  // Deletes the log file; logging continues in a new one.
  virtual void Reset() = 0;
  // Writes the end line and turns every core off.
  virtual void End() = 0;
  // Understands "--set_log_lev=0".."3" and "--reload_log_switch".
  virtual void ApplyCommandLine(const wchar_t* command_line) = 0;
  virtual void Write(const LogStream& stream) = 0;
  // Null or "" gives the default core (null before Init). A named core is
  // created on first request; it must not be used after ReleaseLogger.
  virtual std::shared_ptr<LoggerCore> GetCore(const wchar_t* module_name) = 0;
};

// The process-wide logger, created on first use. Never null.
Logger* GetLogger();
// Destroys the process-wide logger; only tests and explicit tear-down call it.
void ReleaseLogger();

// Shortcuts to GetLogger(). A size limit of 0 means kDefaultSizeLimit.
void Init(const wchar_t* path, const wchar_t* name, BOOL enable, BOOL fresh, DWORD size_limit);
void Init(const wchar_t* path);
void SetLevel(int level);
void Reset();
void End();
void ApplyCommandLine(const wchar_t* command_line);
std::shared_ptr<LoggerCore> GetCore(const wchar_t* module_name);

namespace detail {

// Receives the finished stream of a statement; '&' binds looser than '<<', so
// the whole streamed expression is evaluated before it arrives here.
template <class Target>
class StatementSink {
 public:
  explicit StatementSink(Target* target) : target_(target) {}
  void operator&(const LogStream& stream) { target_->Write(stream); }

 private:
  Target* target_;
};

template <class Target>
StatementSink<Target> Sink(Target* target) {
  return StatementSink<Target>(target);
}

inline LoggerCore* CoreOf(LoggerCore* core) { return core; }
inline LoggerCore* CoreOf(const std::shared_ptr<LoggerCore>& core) { return core.get(); }

}  // namespace detail
}  // namespace LogUtils

// The empty if-branch keeps a caller's own `else` bound to the caller's `if`,
// and the stream arguments are evaluated only when the level is enabled.
#define LOGUTILS_STATEMENT_(target_expr, level, tag)              \
  if (auto* logutils_target_ = (target_expr);                     \
      !logutils_target_ || !logutils_target_->IsEnabled(level)) { \
  } else                                                          \
    ::LogUtils::detail::Sink(logutils_target_) & ::LogUtils::LogStream(tag, __LINE__, __FILE__)

#define LOG_DEBUG LOGUTILS_STATEMENT_(::LogUtils::GetLogger(), ::LogUtils::kDebug, L"[D]")
#define LOG_INFO LOGUTILS_STATEMENT_(::LogUtils::GetLogger(), ::LogUtils::kInfo, L"[I]")
#define LOG_ERR LOGUTILS_STATEMENT_(::LogUtils::GetLogger(), ::LogUtils::kErr, L"[E]")

// `core` is a LoggerCore* or a std::shared_ptr<LoggerCore> from GetCore.
#define LOG_CORE_DEBUG(core) \
  LOGUTILS_STATEMENT_(::LogUtils::detail::CoreOf(core), ::LogUtils::kDebug, L"[D]")
#define LOG_CORE_INFO(core) \
  LOGUTILS_STATEMENT_(::LogUtils::detail::CoreOf(core), ::LogUtils::kInfo, L"[I]")
#define LOG_CORE_ERR(core) \
  LOGUTILS_STATEMENT_(::LogUtils::detail::CoreOf(core), ::LogUtils::kErr, L"[E]")
