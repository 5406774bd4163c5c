#include "webrt_inst/main_window.h"

#include <utility>

#include "log/logger.h"
#include "webrt_inst/scoped_co_init.h"
#include "webrt_inst/download_catalog.h"
#include "webrt_inst/installed_version.h"
#include "webrt_inst/installer_runner.h"

namespace webrt {
namespace {

void RunInstallJob(InstallJob& job, HANDLE stop_event) {
  ScopedCoInit com;
  const bool ok = RunInstaller(job.installer.get(), InstallerParameters(job.method), stop_event) &&
                  !GetInstalledVersion().empty();
  const std::wstring path = job.installer ? job.installer->path() : std::wstring();
  job.installer.reset();
  if (ok) {
    LOG_INFO << "install webview2 succ. path=" << path;
  } else {
    LOG_ERR << "install webview2 fail. path=" << path;
  }
  PostMessageW(job.window, kMsgInstallEnd, ok ? 1 : 0, static_cast<LPARAM>(job.method));
}

}  // namespace

MainWindow::MainWindow(FlowConfig config, HANDLE stop_event)
    : config_(std::move(config)),
      stop_event_(stop_event),
      install_worker_([stop_event](InstallJob& job) { RunInstallJob(job, stop_event); }) {}

MainWindow::~MainWindow() { StopWorkers(); }

LRESULT MainWindow::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
  LOG_INFO << "SendStat:" << "start";
  if (!downloader_.Init(this, stop_event_)) {
    PostMessage(WM_CLOSE);
    return 0;
  }
  const std::wstring version = GetInstalledVersion();
  if (!version.empty()) {
    LOG_INFO << "SendStat:" << "exist" << ", ex=" << "&ex_ary[PEversion]=" << version;
    LOG_INFO << "find webview2 no need download!";
    PostMessage(WM_CLOSE);
    return 0;
  }
  LOG_INFO << "SendStat:" << "noexist";
  bootstrapper_start_ms_ = GetTickCount64();
  DownloadWebview2AsyncByMicrosoftUrl(kMethodBootstrapper, config_.bootstrapper_url,
                                      config_.bootstrapper_timeout_ms, std::wstring());
  return 0;
}

void MainWindow::DownloadWebview2AsyncByMicrosoftUrl(DWORD method, const std::wstring& url,
                                                     DWORD timeout_ms, const std::wstring& md5) {
  // No URL means no installer fits this machine (Windows before 7): the run
  // ends rather than asking urlmon for nothing.
  if (url.empty()) {
    LOG_ERR << "no download url, id=" << method << ". close window.";
    PostMessage(WM_CLOSE);
    return;
  }
  if (!folder_.Create()) {
    LOG_ERR << "no download folder, id=" << method << ". close window.";
    PostMessage(WM_CLOSE);
    return;
  }
  const std::wstring path = GetDownloadPath(folder_.path(), url);
  LOG_INFO << "MainWindow::DownloadWebview2AsyncByMicrosoftUrl, path=" << path;
  LOG_INFO << "dow_start:" << "exist" << ", ex=" << "&ex_ary[method]=" << method;
  DownloadJob job;
  job.method = method;
  job.url = url;
  job.path = path;
  job.md5 = md5;
  job.timeout_ms = timeout_ms;
  std::weak_ptr<MainWindow> weak_self = weak_from_this();
  job.completion = [weak_self](const DownloadResult& result) {
    if (auto self = weak_self.lock()) self->OnWebView2RuntimeDownloadEnd(result);
  };
  if (!downloader_.QueueDownload(std::move(job))) {
    LOG_ERR << "queue download fail, id=" << method << ". close window.";
    PostMessage(WM_CLOSE);
  }
}

void MainWindow::OnWebView2RuntimeDownloadEnd(const DownloadResult& result) {
  if (!IsWindow()) return;
  const ULONGLONG start =
      result.method == kMethodCdn ? cdn_start_ms_ : bootstrapper_start_ms_;
  const long long elapsed = static_cast<long long>(GetTickCount64() - start);
  if (result.status == kDownloadSucceeded && !StopRequested()) {
    LOG_ERR << "download webview2 succ, start install async. id=" << result.method;
    QueueInstall(result.installer, result.method);
    return;
  }
  // A download that completed just as the stop came is dropped as cancelled.
  const std::wstring error = result.status == kDownloadSucceeded ? L"cancel" : result.error;
  LOG_ERR << "MainWindow::OnWebView2RuntimeDownloadEnd() download fail, id=" << result.method;
  LOG_INFO << "dow_start:" << "dow_fail" << ", ex=" << "&ex_ary[method]=" << result.method
           << "&ex_ary[time]=" << elapsed << "&ex_ary[erro]=" << error;
  if (result.method == kMethodCdn) {
    LOG_ERR << "download webview2 all faild. close window.";
    PostMessage(WM_CLOSE);
  } else if (StopRequested()) {
    LOG_INFO << "stop requested. close window.";
    PostMessage(WM_CLOSE);
  } else {
    LOG_INFO << "download webview2 by cdn url.";
    StartCdnDownload();
  }
}

void MainWindow::StartCdnDownload() {
  cdn_start_ms_ = GetTickCount64();
  std::wstring md5;
  const std::wstring url = config_.select_cdn ? config_.select_cdn(&md5) : std::wstring();
  DownloadWebview2AsyncByMicrosoftUrl(kMethodCdn, url, config_.cdn_timeout_ms, md5);
}

void MainWindow::QueueInstall(std::shared_ptr<VerifiedInstaller> installer, DWORD method) {
  InstallJob job;
  job.window = m_hWnd;
  job.installer = std::move(installer);
  job.method = method;
  if (!install_worker_.Queue(std::move(job))) {
    LOG_ERR << "queue install fail, id=" << method << ". close window.";
    PostMessage(WM_CLOSE);
  }
}

LRESULT MainWindow::OnInstallEnd(UINT, WPARAM wparam, LPARAM lparam, BOOL&) {
  if (wparam) {
    LOG_INFO << "webview2 install success!";
    PostMessage(WM_CLOSE);
  } else if (static_cast<DWORD>(lparam) == kMethodCdn) {
    LOG_INFO << "install all fail, close main.";
    PostMessage(WM_CLOSE);
  } else if (StopRequested()) {
    LOG_INFO << "stop requested. close window.";
    PostMessage(WM_CLOSE);
  } else {
    LOG_INFO << "install online pack fail";
    StartCdnDownload();
  }
  return 0;
}

LRESULT MainWindow::OnClose(UINT, WPARAM, LPARAM, BOOL&) {
  LOG_INFO << "SendStat:" << "end";
  // Any download still running would recreate its file, and a result not yet
  // delivered holds its file open; both go before the folder.
  StopWorkers();
  DiscardPendingTasks();
  folder_.Remove();
  if (IsWindow()) DestroyWindow();
  return 0;
}

LRESULT MainWindow::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) {
  LOG_INFO << "MainWindow::OnDestroy()";
  StopWorkers();
  // Completions posted while the workers wound down would otherwise leak.
  DiscardPendingTasks();
  PostQuitMessage(0);
  return 0;
}

bool MainWindow::StopRequested() const {
  return stop_event_ && WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0;
}

void MainWindow::StopWorkers() {
  downloader_.UnInit();
  install_worker_.Stop();
}

}  // namespace webrt
