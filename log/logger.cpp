#include "log/logger.h"

#include "base/singleton.h"
#include "log/logger_impl.h"

namespace LogUtils {

Logger* GetLogger() { return CSingletonT<LoggerImpl>::GetInstance(); }

void ReleaseLogger() { CSingletonT<LoggerImpl>::Release(); }

void Init(const wchar_t* path, const wchar_t* name, BOOL enable, BOOL fresh, DWORD size_limit) {
  if (Logger* logger = GetLogger()) {
    logger->Init(path, name, enable, fresh, size_limit ? size_limit : kDefaultSizeLimit);
  }
}

void Init(const wchar_t* path) { Init(path, L"", FALSE, FALSE, kDefaultSizeLimit); }

void SetLevel(int level) {
  if (Logger* logger = GetLogger()) logger->SetLevel(level);
}

void Reset() {
  if (Logger* logger = GetLogger()) logger->Reset();
}

void End() {
  if (Logger* logger = GetLogger()) logger->End();
}

void ApplyCommandLine(const wchar_t* command_line) {
  if (Logger* logger = GetLogger()) logger->ApplyCommandLine(command_line);
}

std::shared_ptr<LoggerCore> GetCore(const wchar_t* module_name) {
  Logger* logger = GetLogger();
  return logger ? logger->GetCore(module_name) : nullptr;
}

}  // namespace LogUtils
