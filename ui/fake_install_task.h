// A recording IInstallTask for the wizard's tests. StartInstall can run a
// scripted install on a worker thread that reports through the UI-thread
// dispatcher, as the real installer does.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/window/simple_bind.h"
#include "base/window/ui_thread_window.h"
#include "engine/install_task_interface.h"

// Runs a std::function through the dispatcher.
class FunctionBind : public ISimpleBind {
 public:
  explicit FunctionBind(std::function<void()> fn) : fn_(std::move(fn)) {}
  void Invoke() override { fn_(); }

 private:
  std::function<void()> fn_;
};

class FakeInstallTask : public IInstallTask {
 public:
  ~FakeInstallTask() { Join(); }

  // Directories ValidateInstallDir rejects (with kDirNotWritable).
  std::vector<std::wstring> rejected;
  std::wstring default_dir = L"C:\\Program Files\\Pelorix";
  int install_type = kInstallTypeNew;
  // When set, StartInstall runs the scripted install on a worker thread.
  bool run_worker = false;
  // What the scripted install reports at its end.
  int finish_ok = 1;
  std::wstring finish_failures;

  // What the wizard did.
  std::vector<std::wstring> set_dirs;
  std::vector<std::wstring> logs;
  std::vector<std::pair<std::wstring, std::wstring>> launches;
  std::vector<RegistryValueRecord> registry_writes;
  std::vector<std::wstring> registry_data;
  IInstallTaskCallback* callback = nullptr;
  int start_calls = 0;
  int ui_window_calls = 0;
  int stop_calls = 0;
  int close_calls = 0;
  std::atomic<bool> worker_exited{false};

  int CheckEnvironment() override { return 0; }
  BOOL ExtractArchiveLibrary(HMODULE, UINT, const wchar_t*) override { return TRUE; }
  BOOL ExtractNetworkLibrary(HMODULE, UINT, const wchar_t*, wchar_t*) override { return TRUE; }
  BOOL ExtractRuntimeInstaller(HMODULE, UINT, const wchar_t*) override { return TRUE; }
  int Reserved4(int, int, int, int) override { return 0; }
  BOOL PreparePayload(HMODULE, UINT, const wchar_t*) override { return TRUE; }
  BOOL CreateUIThreadWindow() override {
    ++ui_window_calls;
    return ::CreateUIThreadWindow();
  }
  void Close() override {
    ++close_calls;
    callback = nullptr;
  }
  int Reserved8() override { return 0; }
  int SetInstallDir(const wchar_t* path) override {
    set_dirs.push_back(path);
    return 0;
  }
  int GetInstallType() override { return install_type; }
  void GetDefaultInstallDir(wchar_t* out, int capacity) override {
    lstrcpynW(out, default_dir.c_str(), capacity);
  }
  int ValidateInstallDir(const wchar_t* path) override {
    if (!path || !*path) return kDirEmpty;
    for (const std::wstring& r : rejected) {
      if (r == path) return kDirNotWritable;
    }
    return kDirUsable;
  }
  BOOL StartInstall(IInstallTaskCallback* cb) override {
    ++start_calls;
    callback = cb;
    if (run_worker) worker_ = std::thread([this, cb] { Work(cb); });
    return TRUE;
  }
  void Stop() override { ++stop_calls; }
  void Log(const wchar_t* text) override { logs.push_back(text); }
  void LaunchProduct(const wchar_t* path, const wchar_t* parameters) override {
    launches.emplace_back(path, parameters ? parameters : L"");
  }
  LONG WriteRegistryValue(const RegistryValueRecord& record) override {
    registry_writes.push_back(record);
    registry_data.push_back(record.data ? record.data : L"");
    return ERROR_SUCCESS;
  }
  void GetInstallDir(wchar_t* out, int capacity) override {
    lstrcpynW(out, set_dirs.empty() ? L"" : set_dirs.back().c_str(), capacity);
  }
  BOOL Is64BitSystem() override { return FALSE; }
  int GetInstallerStatus() override { return 0; }
  void SetSilent(int) override {}

  void Join() {
    if (worker_.joinable()) worker_.join();
  }

 private:
  // The installer's order: start, progress, an error, copy done, finish on
  // the UI thread; the thread exit directly, last.
  void Work(IInstallTaskCallback* cb) {
    Send([cb] { cb->OnStart(); });
    for (int p : {5, 50, 93}) Send([cb, p] { cb->OnProgress(p); });
    tagINSTALL_ERROR_RET answer = INSTALL_ERROR_RET_ABORT;
    Send([cb, &answer] {
      cb->OnError(INSTALL_ERROR_COPY_FILE, L"copy", &answer);
    });
    error_answer = static_cast<int>(answer);
    const int ok = finish_ok;
    const std::wstring failures = finish_failures;
    Send([cb, ok] { cb->OnCopyDone(ok); });
    Send([cb, ok, &failures] { cb->OnFinish(ok, failures.c_str()); });
    worker_exited = true;
    cb->OnThreadExit();
  }
  static void Send(std::function<void()> fn) {
    FunctionBind call(std::move(fn));
    RunOnUIThread(&call);
  }

  std::thread worker_;

 public:
  std::atomic<int> error_answer{-1};
};
