// MainWindow: the invisible window whose thread drives one install run. It
// detects the runtime, downloads the vendor's bootstrapper (method 0) and
// installs it, falls back once to the CDN standalone installer (method 1), and
// closes itself when the run is over; a stop request ends it at the next step.
// Downloads go to a fresh folder of the run and only checked installers are
// started. Workers report back through messages
// only: downloads through RunTaskInUiThread (2180), installs through 2024.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/window/window_impl.h"
#include "webrt_inst/download_folder.h"
#include "webrt_inst/flow_config.h"
#include "webrt_inst/job_queue.h"
#include "webrt_inst/resource_downloader.h"
#include "webrt_inst/run_task_in_ui_thread.h"

namespace webrt {

// wParam 1 success / 0 failure, lParam the download method.
constexpr UINT kMsgInstallEnd = 2024;

struct InstallJob {
  HWND window = nullptr;
  std::shared_ptr<VerifiedInstaller> installer;
  DWORD method = 0;
};

using MainWindowTraits = CWinTraits<WS_POPUP | WS_SYSMENU, WS_EX_LAYERED>;

class MainWindow : public CWindowImpl<MainWindow, CWindow, MainWindowTraits>,
                   public RunTaskInUiThread,
                   public std::enable_shared_from_this<MainWindow> {
 public:
  DECLARE_WND_CLASS(L"PalinstMainWindow")

  // `stop_event` is the process-wide stop request; it must outlive the window.
  MainWindow(FlowConfig config, HANDLE stop_event);
  ~MainWindow() override;

  BEGIN_MSG_MAP(MainWindow)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(kMsgRunTask, OnRunTask)
    MESSAGE_HANDLER(kMsgInstallEnd, OnInstallEnd)
    MESSAGE_HANDLER(WM_CLOSE, OnClose)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()

 private:
  HWND TaskWindow() const override { return m_hWnd; }

  LRESULT OnCreate(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  LRESULT OnInstallEnd(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  LRESULT OnClose(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);

  void DownloadWebview2AsyncByMicrosoftUrl(DWORD method, const std::wstring& url,
                                           DWORD timeout_ms, const std::wstring& md5);
  void OnWebView2RuntimeDownloadEnd(const DownloadResult& result);
  void StartCdnDownload();
  void QueueInstall(std::shared_ptr<VerifiedInstaller> installer, DWORD method);
  bool StopRequested() const;
  void StopWorkers();

  // First member: it goes last, after the workers that use its files.
  DownloadFolder folder_;
  FlowConfig config_;
  HANDLE stop_event_;
  ResourceDownloader downloader_;
  ULONGLONG cdn_start_ms_ = 0;
  ULONGLONG bootstrapper_start_ms_ = 0;
  CJobQueue<InstallJob> install_worker_;
};

}  // namespace webrt
