#include "webrt_inst/download_folder.h"

#include "log/logger.h"
#include "package/temp_workspace.h"

namespace webrt {

bool DownloadFolder::Create() {
  if (!path_.empty()) return true;
  std::wstring dir;
  // CreateDirectory fails on any existing name, so the directory is ours.
  if (!package::NewTempPath(&dir) || !CreateDirectoryW(dir.c_str(), nullptr)) {
    LOG_ERR << "create download folder fail, err=" << GetLastError();
    return false;
  }
  // Read access makes the share mode count; without FILE_SHARE_DELETE nobody
  // can rename or delete the directory while we hold it.
  pin_.Reset(CreateFileW(dir.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr));
  if (!pin_.IsValid()) {
    LOG_ERR << "open download folder fail, err=" << GetLastError();
    RemoveDirectoryW(dir.c_str());
    return false;
  }
  path_ = dir;
  return true;
}

void DownloadFolder::Remove() {
  if (path_.empty()) return;
  pin_.Reset();
  package::DeleteTree(path_);
  path_.clear();
}

}  // namespace webrt
