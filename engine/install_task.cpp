#include "engine/install_task.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "base/file_version.h"
#include "base/os_version.h"
#include "base/window/ui_thread_window.h"
#include "engine/command_parser.h"
#include "engine/environment_check.h"
#include "engine/install_dir.h"
#include "engine/product_registration.h"
#include "log/smart_logger.h"
#include "log/stage_timer.h"
#include "package/resource_unpack.h"
#include "package/sevenzip_library.h"
#include "package/temp_workspace.h"
#include "trust/signature_check.h"

namespace {

// Unpacks resource (id, type) and returns the full path of `file` inside the
// new directory when it is there. The file is in use for the rest of this run,
// so it and then its directory are deleted at the next restart. Both are the
// setup's own: the directory was made fresh with an administrators-only
// access list in a folder where users cannot rename or remove what is not
// theirs, and nothing removes it before the restart, so no one can put a link
// under these names for the elevated deletes to follow.
bool UnpackCompanion(HMODULE module, UINT id, const wchar_t* type, package::CResourceUnpack::Format format,
                     const wchar_t* file, std::wstring* path) {
  package::CResourceUnpack unpack;
  std::wstring dir;
  if (!unpack.Load(module, id, type) || !unpack.Unpack(&dir, format)) return false;
  const std::wstring full = dir + L"\\" + file;
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    package::DeleteTree(dir);
    return false;
  }
  MoveFileExW(full.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  // Removed at restart only once empty, after the file.
  MoveFileExW(dir.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  *path = full;
  return true;
}

}  // namespace

CInstallTask::CInstallTask() {
  const std::wstring previous = engine::RegisteredInstallDir();
  if (previous.empty()) return;
  install_type_ = kInstallTypeExisting;
  previous_version_ = base::FixedFileVersion(engine::MainProgramPath(previous));
}

CInstallTask::~CInstallTask() {
  installer_.Close();
  installer_.Join(INFINITE);
  ReleasePayload();
}

void CInstallTask::ReleasePayload() {
  if (file_manager_) file_manager_->Release();
  file_manager_ = nullptr;
}

int CInstallTask::CheckEnvironment() { return engine::CheckEnvironment(); }

BOOL CInstallTask::ExtractArchiveLibrary(HMODULE module, UINT id, const wchar_t* type) {
  std::wstring path;
  if (!UnpackCompanion(module, id, type, package::CResourceUnpack::kCabinet, L"7z.dll", &path)) return FALSE;
  // The library is loaded into this process: it must carry an accepted
  // signature, and the file checked must be the file loaded.
  auto accepted = [](const wchar_t* file) { return SignatureCheck(file, TRUE) != FALSE; };
  if (!package::CSevenZipLibrary::GetInstance()->LoadVerified(path.c_str(), accepted)) return FALSE;
  archive_library_path_ = path;
  return TRUE;
}

BOOL CInstallTask::ExtractNetworkLibrary(HMODULE module, UINT id, const wchar_t* type, wchar_t* path) {
  std::wstring full;
  if (!path || !UnpackCompanion(module, id, type, package::CResourceUnpack::kSevenZip, L"quillop.dll", &full) ||
      full.size() >= 1024) {
    return FALSE;
  }
  wcscpy(path, full.c_str());
  return TRUE;
}

BOOL CInstallTask::ExtractRuntimeInstaller(HMODULE module, UINT id, const wchar_t* type) {
  std::wstring full;
  if (!UnpackCompanion(module, id, type, package::CResourceUnpack::kSevenZip, L"Palinst.dll", &full)) return FALSE;
  runtime_installer_path_ = full;
  return TRUE;
}

BOOL CInstallTask::PreparePayload(HMODULE module, UINT id, const wchar_t* type) {
  if (!file_manager_) file_manager_ = package::CreateFileManager();
  file_manager_->SetSilent(silent_ != FALSE);
  return file_manager_->Init(module, id, type) && file_manager_->Start();
}

BOOL CInstallTask::CreateUIThreadWindow() { return ::CreateUIThreadWindow() ? TRUE : FALSE; }

void CInstallTask::Close() { installer_.Close(); }

int CInstallTask::SetInstallDir(const wchar_t* path) {
  if (!path) return 0;
  install_dir_ = engine::NormalizeInstallDir(path);
  LogUtils::CSmartLogger::Get().SetPath(engine::JoinPath(install_dir_, L"setup.log").c_str());
  return 1;
}

void CInstallTask::GetDefaultInstallDir(wchar_t* out, int capacity) {
  if (!out || capacity <= 0) return;
  engine::CSystemEnvironmentQueries queries;
  const std::wstring dir = engine::DefaultInstallDir(&queries);
  // A cut path would name another directory: too small a buffer gets none.
  if (dir.size() >= static_cast<size_t>(capacity)) {
    out[0] = L'\0';
    return;
  }
  wcscpy(out, dir.c_str());
}

int CInstallTask::ValidateInstallDir(const wchar_t* path) { return engine::ValidateInstallDir(path); }

BOOL CInstallTask::StartInstall(IInstallTaskCallback* callback) {
  const CCommandParser* parser = CommandParser();
  engine::InstallOptions options;
  options.close_product_windows = parser->IsCloseRunningProduct();
  options.migrate = parser->IsMigrate();
  options.migrate_source = parser->GetMigrateSource();
  options.migrate_target_dir = parser->GetMigrateTargetDir();
  options.desktop_shortcut = parser->IsDesktopShortcut();
  options.start_menu_shortcut = parser->IsStartMenuShortcut();
  installer_.Prepare(install_dir_, archive_library_path_, file_manager_, options, &steps_);
  LogUtils::MarkStage(L"install started by the wizard");
  return installer_.Start(callback);
}

void CInstallTask::Stop() {
  if (file_manager_) file_manager_->Stop(true);
}

void CInstallTask::Log(const wchar_t* text) {
  if (text) LogUtils::SmartLog(L"%s", text);
}

void CInstallTask::LaunchProduct(const wchar_t* path, const wchar_t* parameters) {
  if (!path || !*path) return;
  const std::wstring file = PathIsRelativeW(path) ? engine::JoinPath(install_dir_, path) : std::wstring(path);
  const DWORD attributes = GetFileAttributesW(file.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  if (!SignatureCheck(file.c_str(), TRUE)) return;
  const std::wstring quoted = L"\"" + file + L"\"";
  ShellExecuteW(nullptr, L"open", quoted.c_str(), parameters, nullptr, SW_SHOWNORMAL);
}

LONG CInstallTask::WriteRegistryValue(const RegistryValueRecord& record) {
  if (!record.root || !record.subkey || !*record.subkey) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(record.root, record.subkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  const wchar_t* data = record.data ? record.data : L"";
  status = RegSetValueExW(key, record.name, 0, record.type, reinterpret_cast<const BYTE*>(data),
                          static_cast<DWORD>(wcslen(data) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}

void CInstallTask::GetInstallDir(wchar_t* out, int capacity) {
  if (!out || capacity < MAX_PATH || install_dir_.empty() || install_dir_.size() >= static_cast<size_t>(capacity)) {
    return;
  }
  wcscpy(out, install_dir_.c_str());
}

BOOL CInstallTask::Is64BitSystem() {
  static const BOOL is64 = base::Is64BitSystem() ? TRUE : FALSE;
  return is64;
}
