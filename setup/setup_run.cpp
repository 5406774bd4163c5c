#include "setup/setup_run.h"

#include <commctrl.h>
#include <objbase.h>

#include <string>

#include "base/os_version.h"
#include "base/system_library.h"
#include "base/thread.h"
#include "base/window/app_module.h"
#include "engine/command_parser.h"
#include "engine/install_task.h"
#include "engine/process_state.h"
#include "log/logger.h"
#include "log/stage_timer.h"
#include "setup/app_version.h"
#include "setup/environment_step.h"
#include "telemetry/setup_statistics.h"
#include "telemetry/statistic_transport.h"
#include "ui/instance_mutex.h"
#include "ui/layer/gdiplus_api.h"
#include "ui/message_box.h"
#include "ui/ui_resources.h"
#include "ui/wizard_run.h"

namespace {

constexpr wchar_t kStatisticsTemplate[] =
    L"http://{host}/pc_all?app=pelorix&pid={pid}&mid={mid}&mid2={mid2}&appver={appver}"
    L"&modver={modver}&type={type}&action={action}&ex_ary[ex_flag]=value_added";
constexpr wchar_t kAlreadyRunning[] = L"安装或卸载程序已经在运行,点击“确定”退出";
constexpr DWORD kEnvironmentFailurePauseMs = 3000;
// How long the end of the run waits for statistics still on their way (a
// "fail" reported just before would otherwise die with the process).
constexpr DWORD kStatisticsFlushMs = 2000;

// comctl32 is not among the libraries Windows always takes from System32, so
// it is bound at run time from there (GDI+ likewise, in ui/layer).
void InitCommonControlsFromSystem() {
  using Fn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (auto init = base::GetSystemProcAs<Fn>(L"comctl32.dll", "InitCommonControlsEx")) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
    init(&icc);
  }
}

// The setup's own log stays off unless support asks for it: the switch file
// "<temp>\pelorix_setup.log.on" or "--set_log_lev=0" on the command line
// (the stage timeline is written at Debug). Off, it creates no file.
void InitSetupLog(const wchar_t* command_line) {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) return;
  std::wstring path(temp, n);
  if (path.back() != L'\\') path += L'\\';
  LogUtils::Init((path + L"pelorix_setup.log").c_str());
  if (command_line) LogUtils::ApplyCommandLine(command_line);
  LogUtils::MarkStage(L"setup run entered");
}

std::wstring ModuleFileName(HMODULE module) {
  wchar_t path[1024];
  DWORD n = GetModuleFileNameW(module, path, 1024);
  return n && n < 1024 ? std::wstring(path, n) : std::wstring();
}

bool IsExistingFile(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void InitStatistics() {
  SetupStatistics* stats = Statistics();
  stats->Init(0, L"install", kStatisticsTemplate);
  stats->SetPid(CommandParser()->GetCmdPid());
  // The install task looks for a registered earlier install when it is made.
  stats->SetNewUser(InstallTask()->GetInstallType() != kInstallTypeExisting);
  const std::wstring& debug_file = CommandParser()->GetDebugFile();
  stats->SetAppVersion(ReportedFileVersion(
      !debug_file.empty() && IsExistingFile(debug_file) ? debug_file : ModuleFileName(ResourceModule())));
}

// The package step checks the digest of the whole payload, tens of
// milliseconds: it runs on a thread of its own while the wizard is built,
// and the wizard is shown only once it has passed.
class PackageStep : public base::IThreadCallback {
 public:
  void Start() { started_ = thread_.Start(this); }
  bool Passed() {
    if (!started_) return PreparePackage();
    thread_.Join();
    return passed_;
  }

 private:
  unsigned Run() override {
    passed_ = PreparePackage();
    return 0;
  }

  bool passed_ = false;
  bool started_ = false;
  base::CXThread thread_;  // last: joined before the flags go
};

// What happens between passing the version gate and tear-down.
void RunGuarded(CInstanceMutex& mutex, int show_mode) {
  if (!mutex.AcquireSetupMutex()) {
    SetupMessageBox(kAlreadyRunning, MB_OK);
    return;
  }
  InitStatistics();
  Statistics()->Report(L"start");
  LogUtils::MarkStage(L"statistics set up, \"start\" sent");
  if (!RunEnvironmentStep()) {
    mutex.ReleaseAll();
    Sleep(kEnvironmentFailurePauseMs);
    return;
  }
  PackageStep package;
  package.Start();
  const bool passed = RunWizard(show_mode, ProcessWizardServices(&mutex), [&package] {
    if (!package.Passed()) return false;
    LogUtils::MarkStage(L"payload record and digest checked, staging runs");
    return true;
  });
  if (!passed) {
    ReportPackageFailure();
    return;
  }
  LogUtils::MarkStage(L"wizard ended");
  Statistics()->Report(L"end", L"", false);
  LogUtils::MarkStage(L"statistics \"end\" sent");
  // The task lives until the process ends; its staging directory must not.
  InstallTask()->ReleasePayload();
}

}  // namespace

int RunSetup(HMODULE module, HMODULE /*ignored*/, const wchar_t* command_line, int show_mode) {
  // A host thread may already be in an apartment: only a successful call
  // (S_OK, or S_FALSE for the host's own apartment) is balanced below.
  InitSetupLog(command_line);
  const HRESULT com = CoInitialize(nullptr);
  DefWindowProcW(nullptr, 0, 0, 0);
  InitCommonControlsFromSystem();
  AppModule().Init(module ? module : GetModuleHandleW(nullptr));
  // Shut down when the run returns, after COM.
  gdip::ScopedStartup gdiplus;
  InitSharedFont();
  InitUiResources();
  LogUtils::MarkStage(L"COM, controls, GDI+, interface resources ready");

  CommandParser()->Parse(command_line);
  SetSilent(CommandParser()->IsSilent());
  if (!IsSilent()) DecodeUiImagesAhead();

  const base::NtVersion& version = base::CurrentNtVersion();
  if (version.major == 5 && version.minor == 1) SetLegacySystem(true);

  CInstanceMutex mutex;
  if (!IsLegacySystem()) RunGuarded(mutex, show_mode);

  telemetry::WaitForAsyncTransfers(kStatisticsFlushMs);
  LogUtils::MarkStage(L"statistics senders done");
  TermUiResources();
  mutex.ReleaseAll();
  AppModule().Term();
  LogUtils::MarkStage(L"interface torn down");
  if (SUCCEEDED(com)) CoUninitialize();
  LogUtils::MarkStage(L"end");
  LogUtils::End();
  return 0;
}
