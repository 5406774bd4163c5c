#include <windows.h>
#include <shellapi.h>

#include "engine/command_parser.h"
#include "engine/install_task.h"
#include "telemetry/setup_statistics.h"
#include "ui/install_models.h"
#include "ui/instance_mutex.h"

WizardServices ProcessWizardServices(CInstanceMutex* mutex) {
  WizardServices services;
  services.task = InstallTask();
  services.parser = CommandParser();
  services.report = [](const wchar_t* action, const wchar_t* extra) {
    Statistics()->Report(action, extra);
  };
  services.open_page = [](const wchar_t* url) {
    ShellExecuteW(nullptr, L"open", url, nullptr, nullptr, SW_SHOWDEFAULT);
  };
  services.release_setup_mutex = [mutex] {
    if (mutex) mutex->ReleaseAll();
  };
  return services;
}
