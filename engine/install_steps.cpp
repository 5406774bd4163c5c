#include "engine/install_steps.h"

#include <windows.h>

#include <cwctype>

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
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Characters of "X:" or "\\server\share" at the start of an absolute path;
// 0 when `path` is neither.
size_t RootChars(const std::wstring& path) {
  if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && IsSeparator(path[2])) return 2;
  if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2])) return 0;
  size_t pos = 2;
  while (pos < path.size() && !IsSeparator(path[pos])) ++pos;  // server
  const size_t share = ++pos;
  while (pos < path.size() && !IsSeparator(path[pos])) ++pos;
  return pos > share ? pos : 0;
}

const wchar_t* CleanupRefusal(const std::wstring& dir) {
  if (dir.empty()) return L"empty";
  // GetFullPathNameW leaves these as they are: "." and ".." would stay.
  if (dir.compare(0, 4, L"\\\\?\\") == 0 || dir.compare(0, 4, L"\\\\.\\") == 0 ||
      dir.compare(0, 4, L"\\??\\") == 0) {
    return L"device path";
  }
  if (RootChars(dir) == 0) return L"not absolute";
  size_t end = dir.size();
  while (end > 0 && IsSeparator(dir[end - 1])) --end;
  size_t begin = end;
  while (begin > 0 && !IsSeparator(dir[begin - 1])) --begin;
  // Windows drops trailing dots and blanks from a name: "." and ".. " are no names.
  if (dir.find_first_not_of(L". ", begin) >= end) return L"no folder name";
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD n = GetFullPathNameW(dir.c_str(), MAX_PATH * 2, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) return L"unresolved";
  std::wstring resolved(full, n);
  while (!resolved.empty() && IsSeparator(resolved.back())) resolved.pop_back();
  const size_t root = RootChars(resolved + L"\\");
  if (root == 0 || resolved.size() <= root) return L"root";
  return nullptr;
}

}  // namespace

bool IsCleanableInstallDir(const std::wstring& install_dir) {
  const wchar_t* refusal = CleanupRefusal(install_dir);
  if (refusal) LogUtils::SmartLog(L"clean-up refused (%s): %s", refusal, install_dir.c_str());
  return refusal == nullptr;
}

void CSystemInstallSteps::CloseRunningProduct(const std::vector<std::wstring>& window_classes,
                                              const std::wstring& install_dir) {
  engine::CloseRunningProduct(window_classes, install_dir);
}

// The clean-ups run elevated on whatever directory arrived (from "/DIR", the
// registry or the wizard): on a root or a stray path they would strip files
// that are not the product's.
void CSystemInstallSteps::PrunePendingRenames(const std::wstring& install_dir) {
  if (IsCleanableInstallDir(install_dir)) engine::PrunePendingRenames(install_dir);
}

void CSystemInstallSteps::DeleteTempFiles(const std::wstring& install_dir) {
  if (!IsCleanableInstallDir(install_dir)) return;
  package::PurgeByExtension(install_dir, L".tmp");
  package::RemoveProbeLeftovers(install_dir);
}

void CSystemInstallSteps::DeleteUpdateFolder(const std::wstring& install_dir) {
  if (!IsCleanableInstallDir(install_dir)) return;
  const std::wstring update = JoinPath(install_dir, L"update");
  if (GetFileAttributesW(update.c_str()) != INVALID_FILE_ATTRIBUTES) package::DeleteTree(update);
}

bool CSystemInstallSteps::CreateInstallDir(const std::wstring& install_dir) {
  return engine::CreateInstallDir(install_dir) != FALSE;
}

void CSystemInstallSteps::MarkUnfinished(const std::wstring& install_dir, bool unfinished) {
  if (!engine::MarkUnfinished(install_dir, unfinished)) {
    LogUtils::SmartLog(L"unfinished mark %d fail: err=%lu %s", unfinished ? 1 : 0, GetLastError(),
                       install_dir.c_str());
  }
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
