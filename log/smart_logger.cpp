#include "log/smart_logger.h"

#include <cstdio>

#include "base/string_conv.h"

namespace LogUtils {
namespace {

void Submit(const std::wstring& line) {
  CSmartLogger& logger = CSmartLogger::Get();
  logger.AddLine(line);
  logger.Flush();
}

}  // namespace

CSmartLogger& CSmartLogger::Get() {
  static CSmartLogger instance;
  return instance;
}

void CSmartLogger::SetPath(const wchar_t* /*path*/) {}

void CSmartLogger::AddLine(const std::wstring& /*line*/) {}

int CSmartLogger::Flush() { return 0; }

std::wstring CSmartLogger::path() {
  CAutoLocker hold(lock_);
  return path_;
}

// The Microsoft formatters (_vsn*printf) are used on purpose: the engine's
// format strings follow their %s rules, and they report overflow as -1 or a
// count that leaves no room for the terminator.
bool FormatSmartLogLine(std::wstring* line, const char* format, va_list args) {
  char buffer[kSmartLogBufferChars];
  const int length = _vsnprintf(buffer, kSmartLogBufferChars, format, args);
  if (length < 0 || static_cast<size_t>(length) >= kSmartLogBufferChars) return false;
  *line = base::AnsiToWide(std::string_view(buffer, static_cast<size_t>(length)));
  return true;
}

bool FormatSmartLogLine(std::wstring* line, const wchar_t* format, va_list args) {
  wchar_t buffer[kSmartLogBufferChars];
  const int length = _vsnwprintf(buffer, kSmartLogBufferChars, format, args);
  if (length < 0 || static_cast<size_t>(length) >= kSmartLogBufferChars) return false;
  line->assign(buffer, static_cast<size_t>(length));
  return true;
}

void SmartLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring line;
  const bool formatted = FormatSmartLogLine(&line, format, args);
  va_end(args);
  if (formatted) Submit(line);
}

void SmartLog(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring line;
  const bool formatted = FormatSmartLogLine(&line, format, args);
  va_end(args);
  if (formatted) Submit(line);
}

}  // namespace LogUtils
