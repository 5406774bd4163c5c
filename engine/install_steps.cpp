#include "engine/install_steps.h"

#include <windows.h>

#include "engine/autorun.h"
#include "engine/browser_engine.h"
#include "engine/file_placement.h"
#include "engine/install_dir.h"
#include "engine/migration.h"
#include "engine/pending_renames.h"
#include "engine/product_registration.h"
#include "engine/product_shutdown.h"
#include "engine/shortcuts.h"
#include "engine/update_config.h"
#include "log/smart_logger.h"
#include "package/temp_workspace.h"
#include "telemetry/setup_statistics.h"

namespace engine {

void CSystemInstallSteps::CloseRunningProduct(const std::vector<std::wstring>& window_classes,
                                              const std::wstring& install_dir) {
  engine::CloseRunningProduct(window_classes, install_dir);
}

void CSystemInstallSteps::PrunePendingRenames(const std::wstring& install_dir) {
  engine::PrunePendingRenames(install_dir);
}

void CSystemInstallSteps::DeleteTempFiles(const std::wstring& install_dir) {
  package::PurgeByExtension(install_dir, L".tmp");
}

void CSystemInstallSteps::DeleteUpdateFolder(const std::wstring& install_dir) {
  const std::wstring update = JoinPath(install_dir, L"update");
  if (GetFileAttributesW(update.c_str()) != INVALID_FILE_ATTRIBUTES) package::DeleteTree(update);
}

bool CSystemInstallSteps::CreateInstallDir(const std::wstring& install_dir) {
  return engine::CreateInstallDir(install_dir) != FALSE;
}

bool CSystemInstallSteps::PlaceFile(const std::wstring& source, const std::wstring& destination) {
  std::vector<PlacementDiagnostic> diagnostics;
  const BOOL placed = engine::PlaceFile(source.c_str(), destination.c_str(), &diagnostics, nullptr);
  for (const PlacementDiagnostic& d : diagnostics) {
    LogUtils::SmartLog(L"%s err=%lu %s file=%s", d.step.c_str(), d.error, d.message.c_str(), destination.c_str());
  }
  return placed != FALSE;
}

void CSystemInstallSteps::MigratePrevious(const std::wstring& source_name, const std::wstring& target_dir_override,
                                          const std::wstring& install_dir) {
  engine::MigratePrevious(source_name, target_dir_override, install_dir);
}

void CSystemInstallSteps::InstallBrowserEngine(const std::wstring& install_dir) {
  engine::InstallBrowserEngine(install_dir);
}

void CSystemInstallSteps::UpdateConfigPaths(const std::wstring& install_dir) {
  engine::UpdateConfigPaths(install_dir);
}

int CSystemInstallSteps::SetAutorun(const std::wstring& install_dir) {
  return engine::SetAutorun(true, install_dir.c_str());
}

bool CSystemInstallSteps::WritePathRegistry(const std::wstring& install_dir) {
  return engine::WritePathRegistry(install_dir) != FALSE;
}

void CSystemInstallSteps::CreateShortcuts(const std::wstring& install_dir, bool desktop, bool start_menu) {
  if (engine::CreateShortcuts(install_dir, desktop, start_menu)) ReportStatistic(L"shortcuts");
}

void CSystemInstallSteps::WriteUninstallEntry(const std::wstring& install_dir) {
  engine::WriteUninstallEntry(install_dir);
}

void CSystemInstallSteps::ReportStatistic(const wchar_t* action) { Statistics()->Report(action); }

void CSystemInstallSteps::AbortSetup(const std::wstring& staging_dir) {
  if (!staging_dir.empty()) package::DeleteTree(staging_dir);
  TerminateProcess(GetCurrentProcess(), 0);
}

}  // namespace engine
