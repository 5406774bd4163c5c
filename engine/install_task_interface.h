// The install task as the wizard and the setup run see it, and the callback
// through which the installer reports back.
#pragma once

#include <windows.h>

#include "engine/install_errors.h"

// Reports of one install. Slots 0-4 are called on the user-interface thread
// (the worker waits meanwhile); OnThreadExit is called on the worker itself,
// as its last act.
class IInstallTaskCallback {
 public:
  virtual void OnStart() = 0;
  // 0..98.
  virtual void OnProgress(int percent) = 0;
  // The listener writes its answer through `answer` (1 = go on).
  virtual void OnError(tagINSTALL_ERROR code, const wchar_t* text, tagINSTALL_ERROR_RET* answer) = 0;
  virtual void OnCopyDone(int ok) = 0;
  // `ok` 1 when every file is in place (the install is usable), else 0;
  // `failures` the tails of every step that failed ("|copy file fail"...),
  // also of the steps that only degrade a usable install.
  virtual void OnFinish(int ok, const wchar_t* failures) = 0;
  virtual void OnThreadExit() = 0;

 protected:
  ~IInstallTaskCallback() = default;
};

// A registry value the wizard asks the task to write.
struct RegistryValueRecord {
  HKEY root;
  const wchar_t* subkey;
  const wchar_t* name;
  DWORD type;
  const wchar_t* data;
};

// Results of ValidateInstallDir.
enum InstallDirCheck {
  kDirUsable = 0,
  kDirNoSpace = 1,
  kDirNotWritable = 2,
  kDirEmpty = 3,
  kDirIsFile = 4,
  kDirRelative = 5,
  kDirBadPath = 6,
  kDirTooLong = 8,
  kDirCreateFailed = 9,
};

// GetInstallType: a new installation, or one over a registered earlier install.
constexpr int kInstallTypeNew = 0;
constexpr int kInstallTypeExisting = 3;

class IInstallTask {
 public:
  virtual int CheckEnvironment() = 0;
  virtual BOOL ExtractArchiveLibrary(HMODULE module, UINT id, const wchar_t* type) = 0;
  // `path` receives up to 1024 characters.
  virtual BOOL ExtractNetworkLibrary(HMODULE module, UINT id, const wchar_t* type, wchar_t* path) = 0;
  virtual BOOL ExtractRuntimeInstaller(HMODULE module, UINT id, const wchar_t* type) = 0;
  virtual int Reserved4(int, int, int, int) = 0;
  virtual BOOL PreparePayload(HMODULE module, UINT id, const wchar_t* type) = 0;
  virtual BOOL CreateUIThreadWindow() = 0;
  // Drops the callback: later reports go nowhere.
  virtual void Close() = 0;
  virtual int Reserved8() = 0;
  virtual int SetInstallDir(const wchar_t* path) = 0;
  virtual int GetInstallType() = 0;
  virtual void GetDefaultInstallDir(wchar_t* out, int capacity) = 0;
  virtual int ValidateInstallDir(const wchar_t* path) = 0;
  virtual BOOL StartInstall(IInstallTaskCallback* callback) = 0;
  // Stops payload staging and waits for it.
  virtual void Stop() = 0;
  virtual void Log(const wchar_t* text) = 0;
  // `path` relative to the install directory, or absolute.
  virtual void LaunchProduct(const wchar_t* path, const wchar_t* parameters) = 0;
  virtual LONG WriteRegistryValue(const RegistryValueRecord& record) = 0;
  // Copies the install directory when `capacity` >= 260 and it is set.
  virtual void GetInstallDir(wchar_t* out, int capacity) = 0;
  virtual BOOL Is64BitSystem() = 0;
  virtual int GetInstallerStatus() = 0;
  virtual void SetSilent(int silent) = 0;

 protected:
  ~IInstallTask() = default;
};
