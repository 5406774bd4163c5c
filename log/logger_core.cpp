#include "log/logger_core.h"

#include <cstdint>
#include <utility>

namespace LogUtils {
namespace {

bool IsOn(int level) { return level == kDebug || level == kInfo; }

struct LocalFreeDeleter {
  void operator()(wchar_t* p) const { LocalFree(p); }
};

// "%d" of the error, then ":<system text>" when there is one, with every
// CR LF removed so that it stays one log line.
std::wstring ErrorText(DWORD error) {
  std::wstring text = std::to_wstring(static_cast<int>(error));
  wchar_t* raw = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
  std::unique_ptr<wchar_t, LocalFreeDeleter> message(raw);
  if (length > 0 && message) text.append(L":").append(message.get(), length);
  for (size_t pos; (pos = text.find(L"\r\n")) != std::wstring::npos;) text.erase(pos, 2);
  return text;
}

}  // namespace

const wchar_t* LevelName(int level) {
  static const wchar_t* const kNames[] = {L"Debug", L"Info", L"Err", L"Off"};
  return level >= kDebug && level <= kOff ? kNames[level] : L"?";
}

LoggerCoreImpl::LoggerCoreImpl(std::wstring module_name, ILocker* lock)
    : lock_(lock), module_name_(std::move(module_name)) {}

void LoggerCoreImpl::Configure(std::shared_ptr<LogAppender> appender,
                               const CoreSettings& settings) {
  CAutoLocker hold(*lock_);
  level_ = settings.level;
  level_fixed_ = settings.level_fixed;
  fresh_ = settings.fresh;
  size_limit_ = settings.size_limit;
  appender_ = std::move(appender);
}

CoreSettings LoggerCoreImpl::settings() {
  CAutoLocker hold(*lock_);
  CoreSettings settings;
  settings.level = level_;
  settings.level_fixed = level_fixed_;
  settings.fresh = fresh_;
  settings.size_limit = size_limit_;
  return settings;
}

void LoggerCoreImpl::ForceLevel(int level) {
  CAutoLocker hold(*lock_);
  level_ = level;
}

bool LoggerCoreImpl::IsEnabled(int level) {
  CAutoLocker hold(*lock_);
  return level >= level_;
}

void LoggerCoreImpl::SetLevel(int level) {
  CAutoLocker hold(*lock_);
  if (level_fixed_) return;
  if (appender_) {
    if (IsOn(level_) && level == kOff) {
      // The last line before silence must reach the file even when another
      // process holds it, or it would sit in the queue unseen.
      std::wstring line = L"-------log off";
      if (IsNamed()) line += L"[" + module_name_ + L"]";
      appender_->Write(line, true);
    } else if (IsOn(level_) || IsOn(level)) {
      std::wstring line = L"-------log lev change";
      if (IsNamed()) line += L"[" + module_name_ + L"]";
      line += L": ";
      line += LevelName(level);
      appender_->Write(line, false);
    }
  }
  level_ = level;
}

void LoggerCoreImpl::Write(const LogStream& stream) {
  CAutoLocker hold(*lock_);
  if (!appender_) return;
  const std::wstring text = stream.str();
  const int64_t limit = size_limit_;
  // Another core sharing the appender may already have filled the file.
  if (appender_->size() > limit) {
    level_ = kOff;
    return;
  }
  if (appender_->Write(text, false) <= limit) return;
  if (fresh_) {
    appender_->Write(L"-------log full", true);
    level_ = kOff;
    return;
  }
  if (appender_->Reset()) {
    appender_->Append(L"-------log full reset");
    return;
  }
  const DWORD error = GetLastError();
  appender_->Append(L"-------log full reset failed. " + ErrorText(error));
  level_ = kOff;
}

}  // namespace LogUtils
