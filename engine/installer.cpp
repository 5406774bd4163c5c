#include "engine/installer.h"

#include <vector>

#include "base/window/simple_bind.h"
#include "base/window/ui_thread_window.h"
#include "engine/product_registration.h"
#include "engine/product_shutdown.h"
#include "log/smart_logger.h"
#include "log/stage_timer.h"

namespace engine {
namespace {

// Room for one staged name; names are checked by the extraction, and a path
// this long fails its placement rather than being cut.
constexpr int kNameChars = 32768;

using ProgressCall = mf_bind_t_1<CInstaller, CInstaller*, void, int>;

}  // namespace

int CopyProgress(int copied, int total) {
  if (total <= 0) return 5;
  // Each step rounded to single precision, as the marks have always been
  // computed: x87 code would otherwise keep extra bits and give 57, not 56,
  // for 13 of 22. The volatile stores force the rounding.
  volatile float mark = static_cast<float>(copied) / static_cast<float>(total);
  mark = mark * 88.0f;
  mark = mark + 5.0f;
  return static_cast<int>(mark);
}

CInstaller::~CInstaller() {
  Close();
  thread_.Join();
}

void CInstaller::Prepare(const std::wstring& install_dir, const std::wstring& archive_library,
                         package::IFileManager* files, const InstallOptions& options, IInstallSteps* steps) {
  install_dir_ = install_dir;
  archive_library_ = archive_library;
  files_ = files;
  options_ = options;
  steps_ = steps;
}

BOOL CInstaller::Start(IInstallTaskCallback* callback) {
  {
    CAutoLocker lock(lock_);
    callback_ = callback;
  }
  return steps_ && thread_.Start(this) ? TRUE : FALSE;
}

void CInstaller::Close() {
  CAutoLocker lock(lock_);
  callback_ = nullptr;
}

// The listener is read under the lock and called outside it: the call runs
// on the user-interface thread, which may itself be closing the installer.
#define INSTALLER_NOTIFY(call)                 \
  IInstallTaskCallback* callback;              \
  {                                            \
    CAutoLocker lock(lock_);                   \
    callback = callback_;                      \
  }                                            \
  if (callback) callback->call

void CInstaller::NotifyStart() { INSTALLER_NOTIFY(OnStart()); }
void CInstaller::NotifyProgress(int percent) { INSTALLER_NOTIFY(OnProgress(percent)); }
void CInstaller::NotifyError(tagINSTALL_ERROR code, const wchar_t* text, tagINSTALL_ERROR_RET* answer) {
  INSTALLER_NOTIFY(OnError(code, text, answer));
}
void CInstaller::NotifyCopyDone(int ok) { INSTALLER_NOTIFY(OnCopyDone(ok)); }
void CInstaller::NotifyFinish(int ok, const wchar_t* failures) { INSTALLER_NOTIFY(OnFinish(ok, failures)); }

#undef INSTALLER_NOTIFY

void CInstaller::NotifyThreadExit() {
  CAutoLocker lock(lock_);
  if (callback_) callback_->OnThreadExit();
}

void CInstaller::Report(int percent) {
  ProgressCall call(&CInstaller::NotifyProgress, this, percent);
  RunOnUIThread(&call);
}

bool CInstaller::CopyOne(const std::wstring& relative) {
  const std::wstring source = JoinPath(source_dir_, relative);
  if (GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES) {
    LogUtils::SmartLog(L"staged file missing: %s", relative.c_str());
    return false;
  }
  if (steps_->PlaceFile(source, JoinPath(install_dir_, relative))) return true;
  LogUtils::SmartLog(L"copy file fail: %s", relative.c_str());
  tagINSTALL_ERROR_RET answer = INSTALL_ERROR_RET_ABORT;
  mf_bind_t_3<CInstaller, CInstaller*, void, tagINSTALL_ERROR, const wchar_t*, tagINSTALL_ERROR_RET*> ask(
      &CInstaller::NotifyError, this, INSTALL_ERROR_COPY_FILE, kCopyFailureText, &answer);
  RunOnUIThread(&ask);
  if (answer != INSTALL_ERROR_RET_CONTINUE) steps_->AbortSetup(source_dir_);
  return false;
}

bool CInstaller::CopyPayload() {
  if (!files_) return false;
  std::vector<wchar_t> dir(kNameChars);
  if (files_->GetTempDir(dir.data(), kNameChars)) source_dir_ = dir.data();
  // Made here rather than by the first placement, so that a directory outside
  // Program Files starts out with a protected list; each file's placement
  // would otherwise create it with whatever the drive passes on.
  if (!steps_->CreateInstallDir(install_dir_)) {
    LogUtils::SmartLog(L"create install dir fail: err=%lu %s", GetLastError(), install_dir_.c_str());
  }
  steps_->MarkUnfinished(install_dir_, true);
  bool all_copied = true;
  int copied = 0;
  std::vector<wchar_t> name(kNameChars);
  for (;;) {
    int index = 0, total = 0, more = 0;
    if (!files_->GetNextFile(name.data(), kNameChars, &index, &total, &more)) break;
    if (!more) continue;
    const std::wstring relative(name.data());
    const bool exists =
        GetFileAttributesW(JoinPath(source_dir_, relative).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!CopyOne(relative)) all_copied = false;
    if (exists) Report(CopyProgress(++copied, total));
  }
  LogUtils::MarkStage(L"last file placed");
  // The product's own extraction needs the same 7-Zip library later on.
  if (!archive_library_.empty()) {
    steps_->PlaceFile(archive_library_, JoinPath(install_dir_, L"Utils\\7z.dll"));
  }
  const bool complete = all_copied && files_->GetResult() != 0;
  // Kept after a failure: the next run then completes this directory rather
  // than a new folder inside it.
  if (complete) steps_->MarkUnfinished(install_dir_, false);
  return complete;
}

unsigned CInstaller::Run() {
  LogUtils::MarkStage(L"install worker running");
  mf_bind_t<CInstaller, CInstaller*, void> start(&CInstaller::NotifyStart, this);
  RunOnUIThread(&start);
  Report(0);
  LogUtils::MarkStage(L"start and 0 reported to the wizard");

  steps_->CloseRunningProduct(WindowClassesToClose(!options_.close_product_windows), install_dir_);
  Report(2);
  steps_->PrunePendingRenames(install_dir_);
  Report(3);
  steps_->DeleteTempFiles(install_dir_);
  Report(4);
  steps_->DeleteUpdateFolder(install_dir_);
  Report(5);
  LogUtils::MarkStage(L"product closed, clean-ups done");

  std::wstring failures;
  const bool copied = CopyPayload();
  mf_bind_t_1<CInstaller, CInstaller*, void, int> copy_done(&CInstaller::NotifyCopyDone, this, copied ? 1 : 0);
  RunOnUIThread(&copy_done);
  LogUtils::MarkStage(L"7z.dll placed, copy reported");
  // The install is usable exactly when every file is in place; the later
  // steps only degrade it and are told apart by their tails.
  const bool success = copied;
  if (!copied) failures += kCopyFailTail;

  if (options_.migrate) {
    steps_->MigratePrevious(options_.migrate_source, options_.migrate_target_dir, install_dir_);
  }
  Report(93);

  steps_->InstallBrowserEngine(install_dir_);
  steps_->UpdateConfigPaths(install_dir_);
  LogUtils::MarkStage(L"browser engine, update configuration");

  const int autorun = steps_->SetAutorun(install_dir_);
  if (autorun == 1) {
    steps_->ReportStatistic(L"schedule");
  } else if (autorun == 0) {
    failures += kAutorunFailTail;
  }
  LogUtils::MarkStage(L"autorun (task), \"schedule\" sent");
  Report(96);

  if (!steps_->WritePathRegistry(install_dir_)) {
    failures += kPathRegFailTail;
  }
  LogUtils::MarkStage(L"product key");
  steps_->CreateShortcuts(install_dir_, options_.desktop_shortcut, options_.start_menu_shortcut);
  LogUtils::MarkStage(L"shortcuts, \"shortcuts\" sent");
  steps_->WriteUninstallEntry(install_dir_);
  LogUtils::MarkStage(L"uninstall entry");
  Report(98);

  LogUtils::SmartLog(L"install finished: success=%d failures=%s", success ? 1 : 0, failures.c_str());
  mf_bind_t_2<CInstaller, CInstaller*, void, int, const wchar_t*> finish(&CInstaller::NotifyFinish, this,
                                                                         success ? 1 : 0, failures.c_str());
  RunOnUIThread(&finish);
  LogUtils::MarkStage(L"finish reported");
  NotifyThreadExit();
  return 0;
}

}  // namespace engine
