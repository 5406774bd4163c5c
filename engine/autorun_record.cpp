#include "engine/autorun_record.h"

#include <windows.h>

#include <cwchar>

namespace engine {
namespace {

constexpr wchar_t kMainProgram[] = L"Nexhub\\pelorix\\pelorix_ui.exe";
constexpr wchar_t kArguments[] = L"/autorun --from=task --op_type=1";
constexpr wchar_t kDescription[] = L"start Pelorix when user login on";
constexpr int kDelaySeconds = 1;

}  // namespace

AutorunRecord MakeAutorunRecord(const std::wstring& install_dir) {
  AutorunRecord record;
  record.arguments = kArguments;
  record.description = kDescription;
  record.delay_seconds = kDelaySeconds;
  if (install_dir.empty()) return record;

  std::wstring exe = install_dir;
  if (exe.back() != L'\\') exe += L'\\';
  exe += kMainProgram;
  record.program = L"\"" + exe + L"\"";
  record.working_directory = exe.substr(0, exe.rfind(L'\\'));
  return record;
}

std::wstring RunValueText(const AutorunRecord& record) {
  return record.program + L" " + record.arguments;
}

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FormatTaskDelay(int seconds) {
  wchar_t text[32];
  std::swprintf(text, 32, L"PT%dM%dS", seconds / 60, seconds % 60);
  return text;
}

}  // namespace engine
