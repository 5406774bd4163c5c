#include "ui/main_wnd.h"

#include <utility>

#include "engine/command_parser.h"
#include "engine/process_state.h"
#include "generated/web_pages.h"
#include "ui/folder_browser.h"
#include "ui/layer/layer_button.h"
#include "ui/layer/layer_label.h"
#include "ui/layer/layer_paint.h"
#include "ui/layer/layer_progress.h"
#include "ui/message_box.h"
#include "ui/window_placement.h"

namespace {

constexpr wchar_t kWindowTitle[] = L"Pelorix";
constexpr wchar_t kPageWelcome[] = L"dialog_welcome";
constexpr wchar_t kPageCustom[] = L"dialog_custom";
constexpr wchar_t kPageProgress[] = L"dialog_progress";
constexpr wchar_t kPageFinish[] = L"dialog_finish";
constexpr UINT kAppIconId = 128;
// What shows through where no page paints: the design's green, alpha 254.
constexpr COLORREF kBackdrop = 0x00FF00;
}  // namespace

CMainWnd::CMainWnd(WizardServices services)
    : services_(std::move(services)),
      start_model_(services_),
      installing_model_(services_),
      finish_model_(services_) {}

CMainWnd::~CMainWnd() {
  if (big_icon_) DestroyIcon(big_icon_);
  if (small_icon_) DestroyIcon(small_icon_);
}

void CMainWnd::DrawFrameBackground(HDC dc, const RECT& client) {
  FillLayerRect(dc, client, kBackdrop);
}

void CMainWnd::SetIcons() {
  HMODULE module = ResourceModule() ? ResourceModule() : GetModuleHandleW(nullptr);
  big_icon_ = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON),
                                            GetSystemMetrics(SM_CYICON), 0));
  small_icon_ = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
  if (big_icon_) ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_));
  if (small_icon_)
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_));
  SetWindowTextW(m_hWnd, kWindowTitle);
}

LRESULT CMainWnd::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
  SetIcons();
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWizardWidth, kWizardHeight,
                 SWP_NOMOVE | SWP_NOREDRAW | SWP_NOZORDER);
  RECT client = {};
  GetClientRect(&client);
  const bool browse_enabled = services_.task->GetInstallType() == kInstallTypeNew;
  pages_ = BuildWizardPages(GetRootView(), this, client.right, client.bottom,
                            start_model_.GetInstallDir().c_str(), browse_enabled);
  CenterWindowInWorkArea(m_hWnd, ::GetWindow(m_hWnd, GW_OWNER));

  start_model_.SetWnd(m_hWnd);
  installing_model_.SetWnd(m_hWnd);
  finish_model_.SetWnd(m_hWnd);

  page_name_ = kPageWelcome;
  if (services_.parser->IsSilent()) {
    start_model_.Run();
  } else {
    pages_.close->SetEnabled(TRUE, FALSE);
    ShowPage(pages_.welcome);
    ShowCustomControls(false);
  }
  state_ = kWizardChoosing;
  services_.task->CreateUIThreadWindow();
  return 0;
}

LRESULT CMainWnd::OnCommand(UINT, WPARAM wparam, LPARAM, BOOL& handled) {
  switch (LOWORD(wparam)) {
    case kIdInstallNow:
    case kIdInstallCustom:
      RequestInstall();
      break;
    case kIdBrowse:
      ChooseDirectory();
      break;
    case kIdClose:
      if (state_ != kWizardInstalling) Quit();
      break;
    case kIdMinimise:
      ShowWindow(SW_MINIMIZE);
      break;
    case kIdDesktopCheck:
      services_.parser->SetDesktopShortcut(pages_.desktop_check->IsChecked() != FALSE);
      break;
    case kIdStartMenuCheck:
      services_.parser->SetStartMenuShortcut(pages_.start_menu_check->IsChecked() != FALSE);
      break;
    case kIdLicenceLink:
      if (services_.open_page) services_.open_page(kLicencePageUrl);
      break;
    case kIdPrivacyLink:
      if (services_.open_page) services_.open_page(kPrivacyPageUrl);
      break;
    case kIdLaunch:
      if (installing_model_.usable()) finish_model_.Run();
      break;
    case kIdCustomLink:
      page_name_ = kPageCustom;
      ShowCustomControls(true);
      break;
    case kIdBack:
      page_name_ = kPageWelcome;
      ShowCustomControls(false);
      break;
    default:
      handled = FALSE;
  }
  return 0;
}

void CMainWnd::RequestInstall() {
  const std::wstring dir = pages_.dir_label->GetText();
  if (dir.empty() || services_.task->ValidateInstallDir(dir.c_str()) != kDirUsable) {
    if (services_.report) {
      services_.report(L"fail", (L"&ex_ary[errcode]=" + std::to_wstring(kStatBadInstallDir)).c_str());
    }
    ShowDirWarning(true);
    return;
  }
  pages_.close->SetEnabled(FALSE, TRUE);
  page_name_ = kPageProgress;
  ShowPage(pages_.progress);
  state_ = kWizardInstalling;
  services_.task->SetInstallDir(dir.c_str());
  start_model_.SetInstallDir(dir);
  installing_model_.Run();
}

void CMainWnd::ChooseDirectory() {
  const std::wstring dir = BrowseForInstallDir(m_hWnd, kProductFolderName);
  if (dir.empty()) return;
  pages_.dir_label->SetText(dir.c_str(), TRUE);
  ShowDirWarning(services_.task->ValidateInstallDir(dir.c_str()) != kDirUsable);
}

void CMainWnd::ShowDirWarning(bool show) {
  pages_.welcome_warning->SetVisible(show ? TRUE : FALSE, TRUE);
  pages_.custom_warning->SetVisible(show ? TRUE : FALSE, TRUE);
}

void CMainWnd::ShowPage(CLayerControlGroup* page) {
  pages_.welcome->SetVisible(page == pages_.welcome, TRUE);
  pages_.progress->SetVisible(page == pages_.progress, TRUE);
  pages_.finish->SetVisible(page == pages_.finish, TRUE);
}

void CMainWnd::ShowInstallFailed() {
  pages_.finish->GetChildById(kIdFinishTitle)->SetText(kInstallFailedText, FALSE);
  pages_.finish->GetChildById(kIdLaunch)->SetVisible(FALSE, FALSE);
}

void CMainWnd::ShowCustomControls(bool custom) {
  pages_.lower_welcome->SetVisible(custom ? FALSE : TRUE, TRUE);
  pages_.lower_custom->SetVisible(custom ? TRUE : FALSE, TRUE);
}

LRESULT CMainWnd::OnWizardStep(UINT, WPARAM wparam, LPARAM, BOOL&) {
  const bool silent = services_.parser->IsSilent();
  switch (wparam) {
    case kStepBeginInstall:
      if (silent) {
        page_name_ = kPageProgress;
        installing_model_.Run();
      }
      state_ = kWizardInstalling;
      break;
    case kStepInstallDone:
      page_name_ = kPageFinish;
      state_ = kWizardFinished;
      // A product whose files are not all in place is never started: the
      // finish page says so and offers nothing to start.
      if (!installing_model_.usable()) ShowInstallFailed();
      if (!silent) {
        pages_.close->SetEnabled(TRUE, TRUE);
        pages_.progress->SetVisible(FALSE, TRUE);
        pages_.finish->SetVisible(TRUE, TRUE);
      } else if (installing_model_.usable()) {
        finish_model_.Run();
      } else {
        ::PostMessageW(m_hWnd, kMsgWizardStep, kStepFlowComplete, 0);
      }
      break;
    case kStepFlowComplete:
      ShowWindow(SW_HIDE);
      Quit();
      break;
  }
  return 0;
}

LRESULT CMainWnd::OnInstallProgress(UINT, WPARAM wparam, LPARAM, BOOL&) {
  // A silent install's window is never shown: composing a frame per placed
  // file would only take time from the install.
  pages_.progress_bar->SetPosition(wparam, services_.parser->IsSilent() ? FALSE : TRUE);
  return 0;
}

LRESULT CMainWnd::OnActivateRequest(UINT, WPARAM, LPARAM, BOOL&) {
  if (services_.parser->IsSilent()) return 0;
  if (IsIconic(m_hWnd)) ShowWindow(SW_RESTORE);
  if (!IsWindowVisible(m_hWnd)) ShowWindow(SW_SHOW);
  SetForegroundWindow(m_hWnd);
  return 0;
}

LRESULT CMainWnd::OnClose(UINT, WPARAM, LPARAM, BOOL&) {
  // Consumed either way: closing while the files are copied does nothing.
  if (state_ != kWizardInstalling) Quit();
  return 0;
}

LRESULT CMainWnd::OnSysCommand(UINT, WPARAM wparam, LPARAM, BOOL& handled) {
  if ((wparam & 0xFFF0) == SC_RESTORE) {
    ShowWindow(SW_RESTORE);
    // A layered window shows nothing until it is composed again.
    static_cast<ILayerWindow*>(this)->InvalidateRect(nullptr);
  }
  handled = FALSE;
  return 0;
}

LRESULT CMainWnd::OnFreePress(UINT, WPARAM, LPARAM, BOOL&) {
  // The toolkit captured the mouse for a control; give it to the system's
  // move loop, as a press on a caption would.
  ::ReleaseCapture();
  ::SendMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, 0);
  return 0;
}

void CMainWnd::Quit() {
  // Stopping and closing the task twice would wait on a worker already gone.
  if (quitting_) return;
  quitting_ = true;
  ShowWindow(SW_HIDE);
  if (services_.release_setup_mutex) services_.release_setup_mutex();
  services_.task->Log(L"quit");
  installing_model_.WaitForWorkerExit();
  services_.task->Stop();
  services_.task->Close();
  PostQuitMessage(0);
}
