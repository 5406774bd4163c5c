// The install engine's run log. Install deliberately leaves no run log on the
// machine: the facade formats each statement (so format strings are still
// exercised) and hands it on, but setting the path and adding a line keep
// nothing, and Flush writes no file.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "base/critical_section.h"

namespace LogUtils {

// Room for one formatted message; a longer message is dropped whole rather
// than cut, so a truncated line can never be mistaken for a complete one.
constexpr size_t kSmartLogBufferChars = 512;

class CSmartLogger {
 public:
  // The process's one instance, built on first use: Install can be loaded by
  // another program without its global constructors running.
  static CSmartLogger& Get();

  CSmartLogger() = default;
  CSmartLogger(const CSmartLogger&) = delete;
  CSmartLogger& operator=(const CSmartLogger&) = delete;

  // Accepted and ignored.
  void SetPath(const wchar_t* path);
  // Accepted and ignored.
  void AddLine(const std::wstring& line);
  // Writes nothing; returns the number of lines written (always 0).
  int Flush();
  // Stays empty.
  std::wstring path();

 private:
  CCriticalSection lock_;
  std::vector<std::wstring> lines_;
  std::wstring path_;
  bool first_write_ = true;
};

// Formats like printf (Microsoft conventions: %s is the format's own
// character width). False, and `line` untouched, when the message needs more
// than kSmartLogBufferChars - 1 characters or the format fails. Narrow text is
// widened with the thread's ANSI code page.
bool FormatSmartLogLine(std::wstring* line, const char* format, va_list args);
bool FormatSmartLogLine(std::wstring* line, const wchar_t* format, va_list args);

// The engine's entry points: format, hand the line to CSmartLogger, flush.
void SmartLog(const char* format, ...) __attribute__((format(ms_printf, 1, 2)));
void SmartLog(const wchar_t* format, ...);

}  // namespace LogUtils
