#include "engine/registration_warmup.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "engine/shortcuts.h"
#include "engine/task_scheduler_store.h"
#include "log/stage_timer.h"

namespace engine {

void CRegistrationWarmup::Start() {
  if (started_) return;
  started_ = true;
  thread_.Start(this);
}

unsigned CRegistrationWarmup::Run() {
  {
    // The same opening as the autorun step's (COM security included, which
    // a process sets once), so the step's own finds everything ready.
    CComTaskStore store;
    store.Open();
  }
  LogUtils::MarkStage(L"warm-up: Task Scheduler connected");
  ShortcutFolders folders;
  SystemShortcutFolders(&folders);
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_ALL, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) file->Release();
    link->Release();
  }
  LogUtils::MarkStage(L"warm-up: shell folders and link object ready");
  return 0;
}

}  // namespace engine
