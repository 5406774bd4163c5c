// What the install sequence does to the machine, one operation per step, so
// that the sequence's order, progress and failure handling can be exercised
// apart from the machine it would change.
#pragma once

#include <string>
#include <vector>

namespace engine {

// The command line's say in an install.
struct InstallOptions {
  bool close_product_windows = true;  // false with "no_close_wnd"
  bool migrate = false;
  std::wstring migrate_source;
  std::wstring migrate_target_dir;
  bool desktop_shortcut = true;
  bool start_menu_shortcut = true;
};

class IInstallSteps {
 public:
  virtual ~IInstallSteps() = default;
  // Asks the windows of `window_classes` to close and ends the processes
  // running from `install_dir`.
  virtual void CloseRunningProduct(const std::vector<std::wstring>& window_classes,
                                   const std::wstring& install_dir) = 0;
  virtual void PrunePendingRenames(const std::wstring& install_dir) = 0;
  // Removes "*.tmp" below the directory (deletion at restart for what resists).
  virtual void DeleteTempFiles(const std::wstring& install_dir) = 0;
  // Removes the directory's "update" folder.
  virtual void DeleteUpdateFolder(const std::wstring& install_dir) = 0;
  // Creates the install directory (and its parents) before the first file.
  virtual bool CreateInstallDir(const std::wstring& install_dir) = 0;
  // Marks the install directory unfinished (before the first file) or
  // finished (once every file is in place); see kUnfinishedMark.
  virtual void MarkUnfinished(const std::wstring& install_dir, bool unfinished) = 0;
  // Places one file, replacing one in use.
  virtual bool PlaceFile(const std::wstring& source, const std::wstring& destination) = 0;
  virtual void MigratePrevious(const std::wstring& source_name, const std::wstring& target_dir_override,
                               const std::wstring& install_dir) = 0;
  virtual void InstallBrowserEngine(const std::wstring& install_dir) = 0;
  virtual void UpdateConfigPaths(const std::wstring& install_dir) = 0;
  // 1 set up, 0 failed.
  virtual int SetAutorun(const std::wstring& install_dir) = 0;
  // Whether "Setup Path" was written.
  virtual bool WritePathRegistry(const std::wstring& install_dir) = 0;
  virtual void CreateShortcuts(const std::wstring& install_dir, bool desktop, bool start_menu) = 0;
  virtual void WriteUninstallEntry(const std::wstring& install_dir) = 0;
  virtual void ReportStatistic(const wchar_t* action) = 0;
  // The user chose to abort on a copy failure: remove the staging directory
  // and end the process.
  virtual void AbortSetup(const std::wstring& staging_dir) = 0;
};

// Whether the clean-ups of a reinstall (the "*.tmp" purge, the "update"
// folder, the pending renames) may run on `install_dir`: an absolute path on
// a drive ("X:\...") or a share ("\\server\share\...") that names a folder
// below the root, whose last part is a name (not "." or ".."). Roots,
// relative and device paths ("\\?\", "\\.\") are refused, with a log line:
// the install goes on without the clean-ups.
bool IsCleanableInstallDir(const std::wstring& install_dir);

// The real machine.
class CSystemInstallSteps : public IInstallSteps {
 public:
  void CloseRunningProduct(const std::vector<std::wstring>& window_classes,
                           const std::wstring& install_dir) override;
  void PrunePendingRenames(const std::wstring& install_dir) override;
  void DeleteTempFiles(const std::wstring& install_dir) override;
  void DeleteUpdateFolder(const std::wstring& install_dir) override;
  bool CreateInstallDir(const std::wstring& install_dir) override;
  void MarkUnfinished(const std::wstring& install_dir, bool unfinished) override;
  bool PlaceFile(const std::wstring& source, const std::wstring& destination) override;
  void MigratePrevious(const std::wstring& source_name, const std::wstring& target_dir_override,
                       const std::wstring& install_dir) override;
  void InstallBrowserEngine(const std::wstring& install_dir) override;
  void UpdateConfigPaths(const std::wstring& install_dir) override;
  int SetAutorun(const std::wstring& install_dir) override;
  bool WritePathRegistry(const std::wstring& install_dir) override;
  void CreateShortcuts(const std::wstring& install_dir, bool desktop, bool start_menu) override;
  void WriteUninstallEntry(const std::wstring& install_dir) override;
  void ReportStatistic(const wchar_t* action) override;
  void AbortSetup(const std::wstring& staging_dir) override;
};

}  // namespace engine
