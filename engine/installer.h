// CInstaller: one install as an ordered run of steps on a worker thread,
// reported to a listener on the user-interface thread.
#pragma once

#include <windows.h>

#include <string>

#include "base/critical_section.h"
#include "base/thread.h"
#include "engine/install_steps.h"
#include "engine/install_task_interface.h"
#include "package/file_manager.h"

namespace engine {

constexpr wchar_t kCopyFailureText[] = L"\u6587\u4EF6\u62F7\u8D1D\u5931\u8D25";  // "文件拷贝失败"
constexpr wchar_t kCopyFailTail[] = L"|copy file fail";
constexpr wchar_t kAutorunFailTail[] = L"|set autorun fail";
constexpr wchar_t kPathRegFailTail[] = L"|write path reg fail";

// The progress mark after `copied` of `total` files: 5..93.
int CopyProgress(int copied, int total);

class CInstaller : public base::IThreadCallback {
 public:
  CInstaller() = default;
  CInstaller(const CInstaller&) = delete;
  CInstaller& operator=(const CInstaller&) = delete;
  ~CInstaller();

  // What the next install works with; `files` and `steps` are not owned.
  void Prepare(const std::wstring& install_dir, const std::wstring& archive_library,
               package::IFileManager* files, const InstallOptions& options, IInstallSteps* steps);
  // Stores the callback and starts the worker. False when it cannot start.
  BOOL Start(IInstallTaskCallback* callback);
  // The sequence; runs on the worker.
  unsigned Run() override;
  // Drops the callback under the lock: later reports go nowhere.
  void Close();
  // Waits for the worker (tests, tear-down).
  bool Join(DWORD timeout_ms) { return thread_.Join(timeout_ms); }
  int status() const { return status_; }

 private:
  // Bound onto the user-interface thread; each calls the listener if any.
  void NotifyStart();
  void NotifyProgress(int percent);
  void NotifyError(tagINSTALL_ERROR code, const wchar_t* text, tagINSTALL_ERROR_RET* answer);
  void NotifyCopyDone(int ok);
  void NotifyFinish(int ok, const wchar_t* failures);

  void Report(int percent);
  // Moves every staged file into place; the step's result.
  bool CopyPayload();
  // Places one staged file; on failure asks the listener whether to go on.
  bool CopyOne(const std::wstring& relative);
  void NotifyThreadExit();

  std::wstring install_dir_;
  std::wstring source_dir_;
  std::wstring archive_library_;
  std::wstring reserved_;
  int status_ = 0;
  package::IFileManager* files_ = nullptr;
  IInstallSteps* steps_ = nullptr;
  InstallOptions options_;
  base::CXThread thread_;
  CCriticalSection lock_;
  IInstallTaskCallback* callback_ = nullptr;
};

}  // namespace engine
