#include "ui/install_models.h"


#include "engine/command_parser.h"
#include "engine/process_state.h"

std::wstring MainAppValue(const CCommandParser& parser) {
  std::wstring value;
  parser.GetTokens().GetValue(L"--mainapp", &value);
  return value;
}

CInstallStartModel::CInstallStartModel(const WizardServices& services) : services_(services) {
  IInstallTask* task = services_.task;
  const std::wstring& wanted = services_.parser->GetInstallDir();
  if (!wanted.empty() && task->ValidateInstallDir(wanted.c_str()) == kDirUsable) {
    install_dir_ = wanted;
  } else {
    wchar_t dir[MAX_PATH] = {};
    task->GetDefaultInstallDir(dir, MAX_PATH);
    dir[MAX_PATH - 1] = L'\0';
    install_dir_ = dir;
  }
  task->SetInstallDir(install_dir_.c_str());
}

void CInstallStartModel::Run() { PostMessageW(wnd_, kMsgWizardStep, kStepBeginInstall, 0); }

void CInstallingModel::Run() { services_.task->StartInstall(this); }

void CInstallingModel::OnProgress(int percent) {
  PostMessageW(wnd_, kMsgInstallProgress, static_cast<WPARAM>(percent), 0);
}

void CInstallingModel::OnError(tagINSTALL_ERROR, const wchar_t*, tagINSTALL_ERROR_RET* answer) {
  // Errors during the copy are not put to the user: the install goes on.
  if (answer) *answer = INSTALL_ERROR_RET_CONTINUE;
}

void CInstallingModel::OnFinish(int ok, const wchar_t* failures) {
  if (!completion_) completion_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  usable_ = ok != 0;
  PostMessageW(wnd_, kMsgWizardStep, kStepInstallDone, 0);

  const std::wstring& pid = services_.parser->GetPid();
  RegistryValueRecord record = {HKEY_LOCAL_MACHINE, kProductKey, kPidValue, REG_SZ, pid.c_str()};
  services_.task->WriteRegistryValue(record);

  // An install with files missing must not count as a success: a caller of
  // Start reads "fail" and statistics learn of it. Steps that only degrade a
  // usable install (autorun, path value) are left to the log, or a host would
  // install again and again.
  if (usable_) {
    SetInstallResult(0);
    if (services_.report) services_.report(L"install_success", L"");
  } else if (services_.report) {
    services_.report(L"fail", (L"&ex_ary[errcode]=" + std::to_wstring(kErrCodeInstallIncomplete)).c_str());
  }
}

void CInstallingModel::OnThreadExit() {
  if (completion_) SetEvent(completion_.Get());
}

void CInstallingModel::WaitForWorkerExit() {
  if (!completion_) return;
  HANDLE event = completion_.Get();
  // A plain wait would stop this thread answering the worker's synchronous
  // reports, and a report still on its way would then never return.
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + 1) return;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

std::wstring CInstallFinishModel::LaunchArguments(const CCommandParser& parser) {
  std::wstring arguments = kLaunchArguments;
  if (parser.IsSilent() && !parser.IsRun()) return arguments;
  const std::wstring mainapp = MainAppValue(parser);
  if (!mainapp.empty()) arguments += L" " + mainapp;
  return arguments;
}

void CInstallFinishModel::Run() {
  if (!services_.parser->IsNoStart()) {
    services_.task->LaunchProduct(kProductProgram, LaunchArguments(*services_.parser).c_str());
  }
  PostMessageW(wnd_, kMsgWizardStep, kStepFlowComplete, 0);
}
