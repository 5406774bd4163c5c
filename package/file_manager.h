// Payload staging: checks the payload record, picks a protected staging
// directory and extracts the payload there on a worker thread, publishing the
// extracted file names one by one for the install engine to place.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "base/critical_section.h"
#include "package/extract_7z.h"
#include "package/payload_record.h"
#include "package/staging_dir.h"

namespace package {

class IFileManager {
 public:
  virtual void Release() = 0;
  // Loads and checks the payload record from resource (id, type) of `module`.
  virtual bool Init(HMODULE module, UINT id, const wchar_t* type) = 0;
  // Takes the next extracted name (relative to the staging directory).
  // `more` is required. Blocks until a name or the end arrives. True with
  // more == 0: nothing yet, ask again. False: the end, or a name that does not
  // fit `capacity` (it is consumed).
  virtual bool GetNextFile(wchar_t* name, int capacity, int* index, int* total, int* more) = 0;
  // Chooses the staging directory, starts the worker and waits until it has
  // read the payload and checked its digest. False when the payload is
  // damaged: nothing has been extracted then, and the setup can refuse the
  // package before it changes anything.
  virtual bool Start() = 0;
  // Asks the worker to stop; with `wait`, joins it. Always true.
  virtual bool Stop(bool wait) = 0;
  // 1 when the extraction finished intact, else 0 (also while running).
  virtual int GetResult() = 0;
  // Copies the staging directory when it fits; empty otherwise.
  virtual bool GetTempDir(wchar_t* out, int capacity) = 0;

 protected:
  virtual ~IFileManager() = default;
};

// The space a staging directory needs on its drive.
constexpr ULONGLONG kStagingSpaceBytes = 150ull << 20;

class CFileManager : public IFileManager, public Extract7z::IExtractCallback {
 public:
  CFileManager();

  void Release() override;
  bool Init(HMODULE module, UINT id, const wchar_t* type) override;
  bool GetNextFile(wchar_t* name, int capacity, int* index, int* total, int* more) override;
  bool Start() override;
  bool Stop(bool wait) override;
  int GetResult() override;
  bool GetTempDir(wchar_t* out, int capacity) override;

  int OnExtractBegin(const wchar_t* archive, const wchar_t* destination) override;
  int OnItemBegin(unsigned index, unsigned count, const wchar_t* path, bool is_dir,
                  const FILETIME* mtime) override;
  int OnItemEnd(unsigned index, unsigned count, const wchar_t* path, bool is_dir) override;
  int OnExtractEnd(int success) override;

  // The record as it would come from the resource, and the file it describes.
  // Init uses it after locating the resource; tests use it directly.
  bool InitFromRecord(const void* data, DWORD size, const std::wstring& module_path);
  // Where the staging directory is made (default: the common application
  // data folder). For tests.
  void SetStagingBaseForTesting(const std::wstring& base) { staging_base_ = base; }
  // The drive roots ("X:\") tried, in order, when the first choice cannot
  // be used; empty: the machine's drives. For tests.
  void SetFallbackDrivesForTesting(std::vector<std::wstring> roots) { fallback_drives_ = std::move(roots); }
  // Quiet: no message box when no drive has room.
  void SetSilent(bool silent) { silent_ = silent; }
  // The worker's own result: 1, or -10000 / -10002 when it gave up.
  int worker_code() const { return worker_code_; }

 private:
  ~CFileManager() override;
  static unsigned __stdcall WorkerMain(void* self);
  int RunWorker();
  bool CreateStagingIn(const std::wstring& base);
  void ReportEnd(int success);

  PayloadRecord record_ = {};
  std::wstring module_path_;
  CCriticalSection lock_;
  std::wstring staging_dir_;
  std::deque<std::wstring> queue_;
  HANDLE worker_ = nullptr;
  int total_ = 0;
  int taken_ = -1;
  volatile LONG finished_ = 0;
  int result_ = 0;
  HANDLE event_ = nullptr;
  HANDLE checked_ = nullptr;  // set once the worker has checked the payload
  volatile LONG intact_ = 0;
  volatile LONG stop_ = 0;
  volatile LONG end_reported_ = 0;
  int worker_code_ = 0;
  std::wstring staging_base_;
  std::vector<std::wstring> fallback_drives_;
  bool silent_ = false;
};

// A new manager on the heap; Release() destroys it.
CFileManager* CreateFileManager();

}  // namespace package
