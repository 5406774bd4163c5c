// The install task: the object the setup run and the wizard drive.
//
// Built so far: the preparation before the wizard (machine checks, the
// 7-Zip library, the companion libraries and payload staging). The install
// sequence itself comes with the installer.
#pragma once

#include <windows.h>

#include <string>

#include "base/singleton.h"
#include "package/file_manager.h"

class CInstallTask {
 public:
  CInstallTask() = default;
  ~CInstallTask();

  // 0 when the machine can take the installation, else a code 1-4.
  int CheckEnvironment();

  // Expands the cabinet resource (id, type) of `module`, checks the signature
  // of the "7z.dll" in it and loads it as the process's 7-Zip library.
  BOOL ExtractArchiveLibrary(HMODULE module, UINT id, const wchar_t* type);
  // Expands a 7z resource holding "quillop.dll"; its path goes to `path`
  // (1024 characters).
  BOOL ExtractNetworkLibrary(HMODULE module, UINT id, const wchar_t* type, wchar_t* path);
  // Expands a 7z resource holding "Palinst.dll" and remembers its path.
  BOOL ExtractRuntimeInstaller(HMODULE module, UINT id, const wchar_t* type);
  // Checks the payload record (id, type) and starts staging the payload.
  BOOL PreparePayload(HMODULE module, UINT id, const wchar_t* type);

  void SetSilent(BOOL silent) { silent_ = silent; }
  BOOL IsSilent() const { return silent_; }

  const std::wstring& archive_library_path() const { return archive_library_path_; }
  const std::wstring& runtime_installer_path() const { return runtime_installer_path_; }
  // Stops staging and removes the staging directory. Safe to call again.
  void ReleasePayload();
  // The staging manager, once PreparePayload succeeded; owned by the task.
  package::IFileManager* file_manager() const { return file_manager_; }

 private:
  BOOL silent_ = FALSE;
  std::wstring archive_library_path_;
  std::wstring runtime_installer_path_;
  package::CFileManager* file_manager_ = nullptr;
};

inline CInstallTask* InstallTask() { return CSingletonT<CInstallTask>::GetInstance(); }
