#include "engine/command_parser.h"

#include <windows.h>
#include <shlwapi.h>

#include <cwctype>

#include "engine/process_state.h"
#include "engine/string_ids.h"

namespace {

std::wstring TrimSpace(const std::wstring& s) {
  size_t end = s.size();
  while (end > 0 && std::iswspace(s[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && std::iswspace(s[begin])) ++begin;
  return s.substr(begin, end - begin);
}

std::wstring DefaultPid() {
  wchar_t buf[64] = {};
  if (LoadStringW(ResourceModule(), IDS_DEFAULT_PID, buf, 64) > 0) return buf;
  // A host that loaded us has no such string; the id must still be sane.
  return L"home";
}

// The stored id; empty when absent, empty, or larger than the 260-byte buffer.
std::wstring StoredPid() {
  wchar_t buf[131] = {};  // one spare character keeps an unterminated value terminated
  DWORD type = 0, size = 260;
  if (SHGetValueW(HKEY_LOCAL_MACHINE, kProductKey, kPidValue, &type, buf, &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::wstring();
  return buf;
}

}  // namespace

int CCommandParser::Parse(const wchar_t* text) {
  raw_ = text ? text : L"";
  tokens_.Parse(raw_.c_str());
  silent_ = tokens_.HasSwitch(L"hide_ui");

  std::wstring value;
  if (!tokens_.GetValue(L"--pid", &value) || value.empty()) value = DefaultPid();
  cmd_pid_ = value;
  const std::wstring stored = StoredPid();
  pid_ = stored.empty() ? cmd_pid_ : TrimSpace(stored);

  no_start_ = tokens_.HasSwitch(L"nostart");
  if (tokens_.GetValue(L"/DIR", &value)) install_dir_ = value;
  run_ = tokens_.HasSwitch(L"run");
  if (tokens_.GetValue(L"/DebugFile", &value)) debug_file_ = value;
  migrate_ = tokens_.HasSwitch(L"migrate");
  if (tokens_.GetValue(L"migrate_src", &value)) migrate_src_ = value;
  if (tokens_.GetValue(L"migrate_tdir", &value)) migrate_tdir_ = value;
  close_running_ = !tokens_.HasSwitch(L"no_close_wnd");
  return 1;
}
