// The install task: the process's one object that the setup run and the
// wizard drive, from the machine checks and payload staging before the
// wizard to the install itself and the start of the product after it.
#pragma once

#include <windows.h>

#include <string>

#include "base/singleton.h"
#include "engine/install_steps.h"
#include "engine/install_task_interface.h"
#include "engine/installer.h"
#include "package/file_manager.h"

class CInstallTask : public IInstallTask {
 public:
  // Looks for an earlier install registered under the product key.
  CInstallTask();
  ~CInstallTask();

  // 0 when the machine can take the installation, else a code 1-4.
  int CheckEnvironment() override;
  // Expands the cabinet resource (id, type) of `module`, checks the signature
  // of the "7z.dll" in it and loads it as the process's 7-Zip library.
  BOOL ExtractArchiveLibrary(HMODULE module, UINT id, const wchar_t* type) override;
  // Expands a 7z resource holding "quillop.dll"; its path goes to `path`
  // (1024 characters).
  BOOL ExtractNetworkLibrary(HMODULE module, UINT id, const wchar_t* type, wchar_t* path) override;
  // Expands a 7z resource holding "Palinst.dll" and remembers its path.
  BOOL ExtractRuntimeInstaller(HMODULE module, UINT id, const wchar_t* type) override;
  int Reserved4(int, int, int, int) override { return 0; }
  // Checks the payload record (id, type) and starts staging the payload.
  BOOL PreparePayload(HMODULE module, UINT id, const wchar_t* type) override;
  BOOL CreateUIThreadWindow() override;
  void Close() override;
  int Reserved8() override { return 0; }
  int SetInstallDir(const wchar_t* path) override;
  int GetInstallType() override { return install_type_; }
  void GetDefaultInstallDir(wchar_t* out, int capacity) override;
  int ValidateInstallDir(const wchar_t* path) override;
  BOOL StartInstall(IInstallTaskCallback* callback) override;
  void Stop() override;
  void Log(const wchar_t* text) override;
  void LaunchProduct(const wchar_t* path, const wchar_t* parameters) override;
  LONG WriteRegistryValue(const RegistryValueRecord& record) override;
  void GetInstallDir(wchar_t* out, int capacity) override;
  BOOL Is64BitSystem() override;
  int GetInstallerStatus() override { return installer_.status(); }
  void SetSilent(int silent) override { silent_ = silent; }

  BOOL IsSilent() const { return silent_; }
  const std::wstring& install_dir() const { return install_dir_; }
  const std::wstring& archive_library_path() const { return archive_library_path_; }
  const std::wstring& runtime_installer_path() const { return runtime_installer_path_; }
  const std::wstring& previous_version() const { return previous_version_; }
  // Stops staging and removes the staging directory. Safe to call again.
  void ReleasePayload();
  // The staging manager, once PreparePayload succeeded; owned by the task.
  package::IFileManager* file_manager() const { return file_manager_; }
  // Waits for an install's worker to end (tear-down).
  bool WaitForInstall(DWORD timeout_ms) { return installer_.Join(timeout_ms); }

 private:
  std::wstring install_dir_;
  package::CFileManager* file_manager_ = nullptr;
  engine::CInstaller installer_;
  engine::CSystemInstallSteps steps_;
  std::wstring archive_library_path_;
  int install_type_ = kInstallTypeNew;
  std::wstring previous_version_;
  BOOL silent_ = FALSE;
  std::wstring runtime_installer_path_;
};

inline CInstallTask* InstallTask() { return CSingletonT<CInstallTask>::GetInstance(); }
