// The wizard's three models: the start model (install directory and the start
// of the flow), the installing model (starts the install and turns the task's
// reports into window messages) and the finish model (starts the product and
// ends the flow). Pages only show and forward; state lives here.
//
// Models reach the process through WizardServices, so tests can run them
// against a fake install task, a parser of their own and a recording
// statistics sink.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/scoped_handle.h"
#include "engine/install_task_interface.h"

class CCommandParser;
class CInstanceMutex;

// Messages a model posts to the wizard window.
constexpr UINT kMsgWizardStep = 0x464;
constexpr WPARAM kStepBeginInstall = 0;
constexpr WPARAM kStepInstallDone = 1;
constexpr WPARAM kStepFlowComplete = 2;
// wParam: percent.
constexpr UINT kMsgInstallProgress = 0x8C8D;

// Statistics error code ("fail") of an install whose files are not all in
// place; the other codes are in engine/install_errors.h.
constexpr int kErrCodeInstallIncomplete = 9;

// The product folder every install directory ends in, and the program the
// finish page starts (relative to the install directory).
constexpr wchar_t kProductFolderName[] = L"Pelorix";
constexpr wchar_t kProductProgram[] = L"Nexhub\\pelorix\\pelorix_ui.exe";
constexpr wchar_t kLaunchArguments[] = L"--from=setup";

struct WizardServices {
  IInstallTask* task = nullptr;
  CCommandParser* parser = nullptr;
  // A statistics event: action and its "&ex_ary[...]=" extras.
  std::function<void(const wchar_t* action, const wchar_t* extra)> report;
  // Opens a web page in the user's browser.
  std::function<void(const wchar_t* url)> open_page;
  // Lets a second setup copy start once this one is quitting.
  std::function<void()> release_setup_mutex;
};

// The process's install task, parser, statistics reporter and shell; the
// setup mutex is released through `mutex` when given.
WizardServices ProcessWizardServices(CInstanceMutex* mutex);

class IBaseModel {
 public:
  virtual void Run() = 0;
  // The window that receives the model's posted messages.
  virtual void SetWnd(HWND wnd) = 0;
  virtual void Reserved() = 0;

 protected:
  ~IBaseModel() = default;
};

class CInstallStartModel : public IBaseModel {
 public:
  // Chooses the install directory: the command line's when the task accepts
  // it, else the task's default; the task is told either way.
  explicit CInstallStartModel(const WizardServices& services);

  // Posts kMsgWizardStep (kStepBeginInstall).
  void Run() override;
  void SetWnd(HWND wnd) override { wnd_ = wnd; }
  void Reserved() override {}

  const std::wstring& GetInstallDir() const { return install_dir_; }
  void SetInstallDir(const std::wstring& dir) { install_dir_ = dir; }

 private:
  const WizardServices& services_;
  HWND wnd_ = nullptr;
  std::wstring install_dir_;
};

class CInstallingModel : public IBaseModel, public IInstallTaskCallback {
 public:
  explicit CInstallingModel(const WizardServices& services) : services_(services) {}

  // Starts the install with this model as the callback.
  void Run() override;
  void SetWnd(HWND wnd) override { wnd_ = wnd; }
  void Reserved() override {}

  // IInstallTaskCallback. OnThreadExit comes on the task's worker thread.
  void OnStart() override {}
  void OnProgress(int percent) override;
  void OnError(tagINSTALL_ERROR code, const wchar_t* text, tagINSTALL_ERROR_RET* answer) override;
  void OnCopyDone(int ok) override {}
  void OnFinish(int ok, const wchar_t* failures) override;
  void OnThreadExit() override;

  // Null until the install reported its finish; set once the worker is done.
  HANDLE completion_event() const { return completion_.Get(); }
  // True once the install reported its finish with every file in place.
  bool usable() const { return usable_; }
  // Waits for the worker's last report, still answering calls sent to this
  // thread meanwhile. Returns at once when no install has finished.
  void WaitForWorkerExit();

 private:
  const WizardServices& services_;
  HWND wnd_ = nullptr;
  base::ScopedHandle completion_;
  bool usable_ = false;
};

class CInstallFinishModel : public IBaseModel {
 public:
  explicit CInstallFinishModel(const WizardServices& services) : services_(services) {}

  // Starts the product unless "nostart", then posts kMsgWizardStep
  // (kStepFlowComplete).
  void Run() override;
  void SetWnd(HWND wnd) override { wnd_ = wnd; }
  void Reserved() override {}

  // "--from=setup", with the --mainapp value appended unless the run is
  // silent without "run".
  static std::wstring LaunchArguments(const CCommandParser& parser);

 private:
  const WizardServices& services_;
  HWND wnd_ = nullptr;
};

// The "--mainapp" value of the parsed command line ("" when absent).
std::wstring MainAppValue(const CCommandParser& parser);
