// The setup's options, read once from the command line (and the channel id
// from the registry) and kept for the life of the process.
#pragma once

#include <string>

#include "base/command_line.h"
#include "base/singleton.h"

class CCommandParser {
 public:
  CCommandParser() = default;

  // Fills every field from `text` (null counts as empty). Parsing again
  // re-reads all switches: values given again overwrite, absent ones stay.
  // Always returns 1.
  int Parse(const wchar_t* text);

  const std::wstring& GetCommandLine() const { return raw_; }
  const std::wstring& GetInstallDir() const { return install_dir_; }
  bool IsSilent() const { return silent_ != 0; }
  // The channel id that goes into the registry: the stored one wins.
  const std::wstring& GetPid() const { return pid_; }
  // The channel id given on the command line (or the built-in default).
  const std::wstring& GetCmdPid() const { return cmd_pid_; }
  bool IsNoStart() const { return no_start_ != 0; }
  bool IsRun() const { return run_ != 0; }
  const std::wstring& GetDebugFile() const { return debug_file_; }
  bool IsAutorun() const { return autorun_ != 0; }
  bool IsDesktopShortcut() const { return desktop_shortcut_ != 0; }
  bool IsStartMenuShortcut() const { return start_menu_shortcut_ != 0; }
  bool IsMigrate() const { return migrate_ != 0; }
  const std::wstring& GetMigrateSource() const { return migrate_src_; }
  const std::wstring& GetMigrateTargetDir() const { return migrate_tdir_; }
  bool IsCloseRunningProduct() const { return close_running_ != 0; }
  const CCommandLine& GetTokens() const { return tokens_; }

  void SetDesktopShortcut(bool on) { desktop_shortcut_ = on; }
  void SetStartMenuShortcut(bool on) { start_menu_shortcut_ = on; }
  void SetAutorun(bool on) { autorun_ = on; }

 private:
  std::wstring raw_;
  std::wstring install_dir_;
  int silent_ = 0;
  std::wstring pid_;
  int no_start_ = 0;
  int run_ = 0;
  std::wstring cmd_pid_;
  std::wstring debug_file_;
  CCommandLine tokens_;
  int autorun_ = 1;
  int desktop_shortcut_ = 1;
  int start_menu_shortcut_ = 1;
  int migrate_ = 0;
  std::wstring migrate_src_ = L"varnock";
  std::wstring migrate_tdir_;
  int close_running_ = 1;
};

// The process-wide parser.
inline CCommandParser* CommandParser() { return CSingletonT<CCommandParser>::GetInstance(); }

// Registry location of the stored channel id.
constexpr wchar_t kProductKey[] = L"SOFTWARE\\Pelorix";
constexpr wchar_t kPidValue[] = L"pid";
