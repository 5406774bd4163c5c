#include "engine/install_task.h"

#include "engine/environment_check.h"
#include "package/resource_unpack.h"
#include "package/sevenzip_library.h"
#include "trust/signature_check.h"

namespace {

// Unpacks resource (id, type) and returns the full path of `file` inside the
// new directory when it is there. The file is deleted at the next restart:
// it is in use for the rest of this run.
bool UnpackCompanion(HMODULE module, UINT id, const wchar_t* type, package::CResourceUnpack::Format format,
                     const wchar_t* file, std::wstring* path) {
  package::CResourceUnpack unpack;
  std::wstring dir;
  if (!unpack.Load(module, id, type) || !unpack.Unpack(&dir, format)) return false;
  const std::wstring full = dir + L"\\" + file;
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  MoveFileExW(full.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  *path = full;
  return true;
}

}  // namespace

CInstallTask::~CInstallTask() { ReleasePayload(); }

void CInstallTask::ReleasePayload() {
  if (file_manager_) file_manager_->Release();
  file_manager_ = nullptr;
}

int CInstallTask::CheckEnvironment() { return engine::CheckEnvironment(); }

BOOL CInstallTask::ExtractArchiveLibrary(HMODULE module, UINT id, const wchar_t* type) {
  std::wstring path;
  if (!UnpackCompanion(module, id, type, package::CResourceUnpack::kCabinet, L"7z.dll", &path)) return FALSE;
  // The library is loaded into this process: it must carry an accepted signature.
  if (!SignatureCheck(path.c_str(), TRUE)) return FALSE;
  if (!package::Load7zLibrary(path.c_str())) return FALSE;
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
