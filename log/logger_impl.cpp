#include "log/logger_impl.h"

#include <algorithm>

namespace LogUtils {
namespace {

std::wstring AsciiLower(const wchar_t* text) {
  std::wstring lower(text ? text : L"");
  std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  });
  return lower;
}

}  // namespace

void LoggerImpl::SetLevel(int level) {
  CAutoLocker hold(main_lock_);
  if (default_core_) default_core_->SetLevel(level);
}

bool LoggerImpl::IsEnabled(int level) {
  // Init may replace the default core on another thread.
  CAutoLocker hold(main_lock_);
  return default_core_ && default_core_->IsEnabled(level);
}

void LoggerImpl::Init(const wchar_t* path, const wchar_t* name, BOOL enable, BOOL fresh,
                      DWORD size_limit) {
  CAutoLocker hold(main_lock_);
  path_ = path ? path : L"";
  fresh_ = fresh;
  if (!appender_) appender_ = std::make_shared<LogAppender>(path_, name ? name : L"", fresh);
  size_limit_ = size_limit;
  default_level_ = enable ? kInfo : kOff;
  if (SwitchFileExists()) {
    // The switch file is how support turns on full logging on a user's
    // machine; an enabled caller keeps it on whatever it sets later.
    default_level_ = kDebug;
    level_fixed_ = enable;
  }
  auto core = std::make_shared<LoggerCoreImpl>(std::wstring(), &main_lock_);
  CoreSettings settings;
  settings.level = default_level_;
  settings.level_fixed = level_fixed_;
  settings.fresh = fresh_;
  settings.size_limit = size_limit_;
  core->Configure(appender_, settings);
  default_core_ = std::move(core);
  // Queued only: a run that never logs leaves no file behind.
  if (default_core_->IsEnabled(kInfo)) appender_->Append(L"-------log start");
}

void LoggerImpl::Reset() {
  CAutoLocker hold(main_lock_);
  if (!appender_) return;
  appender_->Reset();
  if (default_core_ && default_core_->IsEnabled(kInfo)) appender_->Append(L"-------log reset");
}

void LoggerImpl::End() {
  {
    CAutoLocker hold_map(core_map_lock_);
    for (auto& entry : cores_) entry.second->ForceLevel(kOff);
  }
  CAutoLocker hold(main_lock_);
  if (!default_core_) return;
  // Waits for the file so that everything still queued goes out with it.
  if (appender_ && default_core_->IsEnabled(kInfo)) appender_->Write(L"-------log end", true);
  default_core_->ForceLevel(kOff);
}

void LoggerImpl::ApplyCommandLine(const wchar_t* command_line) {
  static const struct {
    const wchar_t* option;
    int level;
  } kLevelOptions[] = {{L"--set_log_lev=0", kDebug},
                       {L"--set_log_lev=1", kInfo},
                       {L"--set_log_lev=2", kErr},
                       {L"--set_log_lev=3", kOff}};
  const std::wstring lower = AsciiLower(command_line);
  for (const auto& option : kLevelOptions) {
    if (lower.find(option.option) != std::wstring::npos) {
      SetLevel(option.level);
      return;
    }
  }
  if (lower.find(L"--reload_log_switch") != std::wstring::npos) ReloadSwitch();
}

void LoggerImpl::ReloadSwitch() {
  CAutoLocker hold(main_lock_);
  if (!default_core_) return;
  default_core_->ForceLevel(kOff);
  if (SwitchFileExists()) default_core_->ForceLevel(kDebug);
  if (appender_ && default_core_->IsEnabled(kInfo)) {
    appender_->Append(L"-------log reload switch");
  }
}

void LoggerImpl::Write(const LogStream& stream) {
  CAutoLocker hold(main_lock_);
  if (default_core_) default_core_->Write(stream);
}

std::shared_ptr<LoggerCore> LoggerImpl::GetCore(const wchar_t* module_name) {
  if (!module_name || !*module_name) {
    CAutoLocker hold(main_lock_);
    return default_core_;
  }
  CAutoLocker hold_map(core_map_lock_);
  auto found = cores_.find(module_name);
  if (found != cores_.end()) return found->second;

  CAutoLocker hold(main_lock_);
  CoreSettings settings;
  if (default_core_) {
    settings = default_core_->settings();
  } else {
    settings.level = default_level_;
    settings.level_fixed = level_fixed_;
    settings.fresh = fresh_;
    settings.size_limit = size_limit_;
  }
  auto core = std::make_shared<LoggerCoreImpl>(module_name, &main_lock_);
  core->Configure(appender_, settings);
  cores_.emplace(module_name, core);
  return core;
}

bool LoggerImpl::SwitchFileExists() const {
  return GetFileAttributesW((path_ + L".on").c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace LogUtils
