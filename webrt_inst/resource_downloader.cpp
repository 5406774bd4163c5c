#include "webrt_inst/resource_downloader.h"

#include "log/logger.h"
#include "webrt_inst/scoped_co_init.h"
#include "webrt_inst/url_download.h"

namespace webrt {

DownloadResult RunDownloadJob(const DownloadJob& job, HANDLE stop_event) {
  DownloadResult result;
  result.method = job.method;
  result.url = job.url;
  result.path = job.path;
  result.md5 = job.md5;
  result.status = kDownloadFailed;

  ScopedCoInit com;
  HRESULT hr = E_FAIL;
  if (auto* download = new (std::nothrow) UrlDownload()) {
    hr = download->Download(job.url, job.path, stop_event, job.timeout_ms, &result.error);
    download->Release();
  }
  if (SUCCEEDED(hr)) {
    std::unique_ptr<VerifiedInstaller> installer;
    switch (VerifiedInstaller::Open(job.path, job.md5, &installer)) {
      case InstallerCheck::kPassed:
        result.status = kDownloadSucceeded;
        result.installer = std::move(installer);
        break;
      case InstallerCheck::kUnreadable:
        break;
      case InstallerCheck::kMd5Mismatch:
      case InstallerCheck::kUntrusted:
        result.status = kDownloadMd5Mismatch;
        break;
    }
  } else {
    LOG_DEBUG << "download fail, hr=0x" << std::hex << static_cast<unsigned long>(hr) << std::dec
             << " url:" << job.url;
    DeleteFileW(job.path.c_str());
  }
  return result;
}

bool ResourceDownloader::Init(RunTaskInUiThread* notify, HANDLE stop_event) {
  if (InterlockedExchange(&running_, 1) != 0) return false;
  notify_ = notify;
  stop_event_ = stop_event;
  queue_ = std::make_unique<CJobQueue<DownloadJob>>([this](DownloadJob& job) { Run(job); });
  return true;
}

bool ResourceDownloader::QueueDownload(DownloadJob job) {
  return running_ && queue_ && queue_->Queue(std::move(job));
}

void ResourceDownloader::UnInit() {
  if (InterlockedExchange(&running_, 0) == 0) return;
  LOG_INFO << "ResourceDownloader::UnInit(), set stop.";
  queue_->Stop();
  queue_.reset();
  notify_ = nullptr;
}

void ResourceDownloader::Run(DownloadJob& job) {
  DownloadResult result = RunDownloadJob(job, stop_event_);
  if (job.completion && notify_) {
    auto completion = std::move(job.completion);
    notify_->PostTask([completion, result] { completion(result); });
  }
}

}  // namespace webrt
