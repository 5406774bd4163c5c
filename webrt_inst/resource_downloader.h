// ResourceDownloader: downloads runtime installers one at a time on its own
// worker thread, checks their MD5 and signature and reports each result to the
// UI thread.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "webrt_inst/job_queue.h"
#include "webrt_inst/run_task_in_ui_thread.h"
#include "webrt_inst/verified_installer.h"

namespace webrt {

// Download method ids.
constexpr DWORD kMethodBootstrapper = 0;  // the runtime vendor's link
constexpr DWORD kMethodCdn = 1;           // the maker's CDN copy

enum DownloadStatus : int {
  kDownloadFailed = 1,
  kDownloadSucceeded = 2,
  kDownloadMd5Mismatch = 3,  // the file is complete but failed its MD5 or signature check
};

struct DownloadResult {
  DWORD method = 0;
  std::wstring url;
  std::wstring path;
  std::wstring md5;
  int status = kDownloadFailed;
  std::wstring error;  // "cancel", "timout" or empty
  // With status 2: the checked file, held open until it has been started.
  std::shared_ptr<VerifiedInstaller> installer;
};

struct DownloadJob {
  DWORD method = 0;
  std::wstring url;
  std::wstring path;
  std::wstring md5;  // empty: no check
  DWORD timeout_ms = 0;
  // Runs on the UI thread with the result; empty: nobody is told.
  std::function<void(const DownloadResult&)> completion;
};

// One download job on the calling thread: downloads the file (deleting it
// again when the download fails), then checks it.
DownloadResult RunDownloadJob(const DownloadJob& job, HANDLE stop_event);

class ResourceDownloader {
 public:
  ResourceDownloader() = default;
  ~ResourceDownloader() { UnInit(); }
  ResourceDownloader(const ResourceDownloader&) = delete;
  ResourceDownloader& operator=(const ResourceDownloader&) = delete;

  // Completions are delivered through `notify`. False when already running.
  bool Init(RunTaskInUiThread* notify, HANDLE stop_event);
  // False when not running.
  bool QueueDownload(DownloadJob job);
  // Discards queued jobs and waits for the running one.
  void UnInit();

 private:
  void Run(DownloadJob& job);

  volatile LONG running_ = 0;
  RunTaskInUiThread* notify_ = nullptr;
  HANDLE stop_event_ = nullptr;
  std::unique_ptr<CJobQueue<DownloadJob>> queue_;
};

}  // namespace webrt
