#include "package/file_manager.h"

#include <process.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/scoped_handle.h"
#include "log/stage_timer.h"
#include "package/temp_workspace.h"

namespace package {
namespace {

constexpr int kWorkerFailed = -10000;
constexpr wchar_t kNoSpaceText[] = L"磁盘空间不够";
constexpr wchar_t kNoSpaceCaption[] = L"错误";

bool IsFixedDriveWithRoom(const std::wstring& path) {
  if (path.size() < 3 || path[1] != L':') return false;
  const std::wstring root = path.substr(0, 2) + L"\\";
  if (GetDriveTypeW(root.c_str()) != DRIVE_FIXED) return false;
  ULARGE_INTEGER available, total, free_bytes;
  return GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free_bytes) &&
         free_bytes.QuadPart >= kStagingSpaceBytes;
}

// The drive roots ("X:\") in the order GetLogicalDriveStringsW gives them.
std::vector<std::wstring> LogicalDrives() {
  std::vector<std::wstring> roots;
  wchar_t drives[1024] = {};
  DWORD n = GetLogicalDriveStringsW(1024, drives);
  if (n == 0 || n > 1024) return roots;
  for (const wchar_t* d = drives; *d; d += wcslen(d) + 1) roots.emplace_back(d);
  return roots;
}

// The first fixed drive of `roots` whose free space exceeds the staging need.
bool FirstFixedDriveWithRoom(const std::vector<std::wstring>& roots, std::wstring* root) {
  for (const std::wstring& d : roots) {
    if (GetDriveTypeW(d.c_str()) != DRIVE_FIXED) continue;
    ULARGE_INTEGER available, total, free_bytes;
    if (GetDiskFreeSpaceExW(d.c_str(), &available, &total, &free_bytes) &&
        free_bytes.QuadPart > kStagingSpaceBytes) {
      *root = d;
      return true;
    }
  }
  return false;
}

}  // namespace

CFileManager::CFileManager() = default;

CFileManager* CreateFileManager() { return new CFileManager(); }

void CFileManager::Release() { delete this; }

CFileManager::~CFileManager() {
  InterlockedExchange(&stop_, 1);
  if (worker_) {
    WaitForSingleObject(worker_, INFINITE);
    CloseHandle(worker_);
  }
  if (event_) CloseHandle(event_);
  if (checked_) CloseHandle(checked_);
  if (!staging_dir_.empty() && GetFileAttributesW(staging_dir_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    DeleteTree(staging_dir_);
  }
}

bool CFileManager::Init(HMODULE module, UINT id, const wchar_t* type) {
  if (!id || !type) return false;
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!resource) return false;
  const DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = LoadResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return false;
  wchar_t path[1024];
  const DWORD n = GetModuleFileNameW(module, path, 1024);
  if (n == 0 || n >= 1024) return false;
  return InitFromRecord(data, size, std::wstring(path, n));
}

bool CFileManager::InitFromRecord(const void* data, DWORD size, const std::wstring& module_path) {
  if (size != sizeof(PayloadRecord)) return false;
  std::memcpy(&record_, data, sizeof(record_));
  module_path_ = module_path;
  if (record_.offset == kUnfilledField || record_.length == kUnfilledField) return false;
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (!GetFileAttributesExW(module_path_.c_str(), GetFileExInfoStandard, &info)) return false;
  const ULONGLONG file_size = (ULONGLONG(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  // 64-bit sum: an offset and length that wrap around 32 bits are refused
  // instead of passing as a small number.
  return record_.length > 0 && file_size >= ULONGLONG(record_.offset) + record_.length;
}

bool CFileManager::CreateStagingIn(const std::wstring& base) {
  std::wstring candidate;
  if (!CreateProtectedDirectoryIn(base, &candidate)) return false;
  if (!ProbeWritable(candidate, nullptr)) {
    RemoveDirectoryW(candidate.c_str());
    return false;
  }
  staging_dir_ = candidate;
  // A run killed before its clean-up leaves its staging directory behind, up
  // to the payload's size, where nothing else would ever remove it.
  RemoveStaleStaging(base, staging_dir_);
  return true;
}

bool CFileManager::Start() {
  std::wstring base = staging_base_;
  if (base.empty() && !StagingBase(&base)) return false;
  // The first choice gives way to the first fixed drive with room when it
  // lacks room and also when the directory cannot be made or written there
  // (a read-only folder or medium, access denied).
  if (base.size() > MAX_PATH || !IsFixedDriveWithRoom(base) || !CreateStagingIn(base)) {
    std::wstring root;
    if (!FirstFixedDriveWithRoom(fallback_drives_.empty() ? LogicalDrives() : fallback_drives_, &root)) {
      if (!silent_) MessageBoxW(nullptr, kNoSpaceText, kNoSpaceCaption, MB_ICONEXCLAMATION);
      return false;
    }
    if (!CreateStagingIn(root.substr(0, 2))) return false;
  }

  LogUtils::MarkStage(L"staging directory made");
  event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  checked_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event_ || !checked_) return false;
  worker_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CFileManager::WorkerMain, this, 0, nullptr));
  if (!worker_) return false;
  // A damaged payload is only found by reading it. Found during the install,
  // it would leave an empty product registered; found here, the package step
  // refuses the package while nothing has changed.
  const HANDLE either[] = {checked_, worker_};
  WaitForMultipleObjects(2, either, FALSE, INFINITE);
  if (intact_) return true;
  // The setup ends at once after a refused package: nothing else would
  // remove the directory.
  WaitForSingleObject(worker_, INFINITE);
  DeleteTree(staging_dir_);
  staging_dir_.clear();
  return false;
}

unsigned __stdcall CFileManager::WorkerMain(void* self) {
  auto* manager = static_cast<CFileManager*>(self);
  manager->worker_code_ = manager->RunWorker();
  // Whatever stopped the worker, a waiting GetNextFile must see the end.
  manager->ReportEnd(0);
  return 0;
}

int CFileManager::RunWorker() {
  uint8_t* plain = nullptr;
  int code = ReadPayload(module_path_, record_, &plain);
  if (code == 1) InterlockedExchange(&intact_, 1);
  LogUtils::MarkStage(L"payload read, digest checked, unscrambled; extraction starts");
  SetEvent(checked_);
  if (code != 1) return code;
  if (ExtractBuffer(module_path_.c_str(), plain, record_.length, staging_dir_.c_str(), this) < 0) {
    code = kWorkerFailed;
  }
  LogUtils::MarkStage(L"staging done");
  std::free(plain);
  return code;
}

bool CFileManager::GetNextFile(wchar_t* name, int capacity, int* index, int* total, int* more) {
  if (!more) return false;
  *more = 1;
  if (!event_ || WaitForSingleObject(event_, INFINITE) != WAIT_OBJECT_0) return false;
  std::wstring next;
  int taken = 0, count = 0;
  {
    CAutoLocker lock(lock_);
    if (queue_.empty()) {
      if (finished_) return false;
      ResetEvent(event_);
      *more = 0;
      return true;
    }
    next = std::move(queue_.front());
    queue_.pop_front();
    taken = ++taken_;
    count = total_;
  }
  if (index) *index = taken;
  if (total) *total = count;
  if (!name || capacity <= 0) return false;
  name[0] = L'\0';
  if (next.size() >= static_cast<size_t>(capacity)) return false;
  wcscpy(name, next.c_str());
  return true;
}

bool CFileManager::Stop(bool wait) {
  InterlockedExchange(&stop_, 1);
  if (wait && worker_) {
    WaitForSingleObject(worker_, INFINITE);
    CloseHandle(worker_);
    worker_ = nullptr;
  }
  return true;
}

int CFileManager::GetResult() {
  CAutoLocker lock(lock_);
  return finished_ ? result_ : 0;
}

bool CFileManager::GetTempDir(wchar_t* out, int capacity) {
  if (!out || capacity <= 0) return false;
  out[0] = L'\0';
  if (staging_dir_.size() >= static_cast<size_t>(capacity)) return false;
  wcscpy(out, staging_dir_.c_str());
  return true;
}

int CFileManager::OnExtractBegin(const wchar_t*, const wchar_t*) { return 0; }

int CFileManager::OnItemBegin(unsigned, unsigned count, const wchar_t*, bool, const FILETIME*) {
  CAutoLocker lock(lock_);
  total_ = static_cast<int>(count);
  return stop_ ? Extract7z::kStopExtraction : 0;
}

int CFileManager::OnItemEnd(unsigned, unsigned count, const wchar_t* path, bool is_dir) {
  if (stop_) return Extract7z::kStopExtraction;
  if (count > 0 && !is_dir && path) {
    CAutoLocker lock(lock_);
    queue_.emplace_back(path);
    SetEvent(event_);
  }
  return 0;
}

int CFileManager::OnExtractEnd(int success) {
  ReportEnd(success);
  return 0;
}

void CFileManager::ReportEnd(int success) {
  // Only the first report counts: the worker reports a failure after an
  // extraction that already reported its own end.
  if (InterlockedCompareExchange(&end_reported_, 1, 0) != 0) return;
  {
    CAutoLocker lock(lock_);
    result_ = success ? 1 : 0;
    finished_ = 1;
  }
  SetEvent(event_);
}

}  // namespace package
