// What the product's log-on start runs: built once from the install directory
// and shared by the scheduled task and the Run-key fallback.
#pragma once

#include <string>

namespace engine {

struct AutorunRecord {
  std::wstring program;            // main program path in double quotes
  std::wstring working_directory;  // the main program's folder, unquoted
  std::wstring arguments;
  std::wstring description;
  int delay_seconds = 0;
};

// Empty `install_dir` gives an empty program (callers refuse it first). A
// trailing backslash on the directory is tolerated.
AutorunRecord MakeAutorunRecord(const std::wstring& install_dir);

// "%s %s" of the quoted program and the arguments: the Run value's text.
std::wstring RunValueText(const AutorunRecord& record);

// Ordinal comparison without regard to case, as the existing task and Run
// value are compared with what the record asks for.
bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b);

// Task Scheduler duration "PT<m>M<s>S" for a delay in seconds.
std::wstring FormatTaskDelay(int seconds);

}  // namespace engine
