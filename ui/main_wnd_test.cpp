#include "ui/main_wnd.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/window/ui_thread_window.h"
#include "engine/command_parser.h"
#include "engine/process_state.h"
#include "ui/fake_install_task.h"
#include "ui/layer/gdiplus_api.h"
#include "ui/layer/layer_button.h"
#include "ui/layer/layer_label.h"
#include "ui/layer/layer_progress.h"
#include "ui/res_initializer.h"

namespace {

class MainWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_.ok());
    ASSERT_TRUE(ResInitializer::GetInstance()->Init(GetModuleHandleW(nullptr)));
    SetInstallResult(-1);
    services_.task = &task_;
    services_.parser = &parser_;
    services_.report = [this](const wchar_t* action, const wchar_t* extra) {
      reports_.emplace_back(action, extra);
    };
    services_.open_page = [this](const wchar_t* url) { opened_.push_back(url); };
    services_.release_setup_mutex = [this] { ++mutex_releases_; };
  }
  void TearDown() override {
    if (wnd_ && wnd_->m_hWnd) wnd_->DestroyWindow();
    wnd_.reset();
    task_.Join();
    DestroyUIThreadWindow();
    // A WM_QUIT left over would end the next test's pumping.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    ResInitializer::GetInstance()->Term();
    SetInstallResult(-1);
  }

  void Create(const wchar_t* command_line) {
    parser_.Parse(command_line);
    wnd_ = std::make_unique<CMainWnd>(services_);
    RECT rc = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
    ASSERT_NE(wnd_->Create(nullptr, &rc, nullptr, WS_POPUP, WS_EX_LAYERED), nullptr);
  }

  // Dispatches this thread's messages until `done` or the time is up; notes
  // the WM_QUIT of the quit routine.
  bool Pump(const std::function<bool()>& done, DWORD timeout_ms = 5000) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < timeout_ms) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          quit_seen_ = true;
          continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    return done();
  }
  void PumpPending() {
    Pump([] { return false; }, 100);
  }

  void Command(UINT id) { ::SendMessageW(wnd_->m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  // A real press and release at the centre of a control (window coordinates).
  void Click(ILayerControl* control) {
    RECT r = control->GetWindowRect();
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(wnd_->m_hWnd, WM_MOUSEMOVE, 0, at);
    ::SendMessageW(wnd_->m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(wnd_->m_hWnd, WM_LBUTTONUP, 0, at);
    PumpPending();
  }

  // Walks the pages from welcome to a finished install.
  void InstallThroughToFinish(const wchar_t* command_line, int ok = 1, const wchar_t* failures = L"") {
    Create(command_line);
    Command(kIdInstallNow);
    ASSERT_EQ(wnd_->state(), kWizardInstalling);
    ASSERT_NE(task_.callback, nullptr);
    task_.callback->OnFinish(ok, failures);
    ASSERT_TRUE(Pump([&] { return wnd_->state() == kWizardFinished; }));
    task_.callback->OnThreadExit();
  }

  gdip::ScopedStartup gdiplus_;
  FakeInstallTask task_;
  CCommandParser parser_;
  WizardServices services_;
  std::unique_ptr<CMainWnd> wnd_;
  std::vector<std::pair<std::wstring, std::wstring>> reports_;
  std::vector<std::wstring> opened_;
  int mutex_releases_ = 0;
  bool quit_seen_ = false;
};

TEST_F(MainWndTest, OpensOnTheWelcomePage) {
  Create(L"");
  RECT rc;
  ASSERT_TRUE(GetWindowRect(wnd_->m_hWnd, &rc));
  EXPECT_EQ(rc.right - rc.left, kWizardWidth);
  EXPECT_EQ(rc.bottom - rc.top, kWizardHeight);
  wchar_t title[32] = {};
  GetWindowTextW(wnd_->m_hWnd, title, 32);
  EXPECT_STREQ(title, L"Pelorix");

  const WizardPages& p = wnd_->pages();
  EXPECT_EQ(wnd_->state(), kWizardChoosing);
  EXPECT_EQ(wnd_->page_name(), L"dialog_welcome");
  EXPECT_TRUE(p.welcome->IsVisible());
  EXPECT_TRUE(p.lower_welcome->IsVisible());
  EXPECT_FALSE(p.lower_custom->IsVisible());
  EXPECT_FALSE(p.progress->IsVisible());
  EXPECT_FALSE(p.finish->IsVisible());
  EXPECT_FALSE(p.welcome_warning->IsVisible());
  EXPECT_TRUE(p.close->IsEnabled());
  EXPECT_TRUE(p.browse->IsEnabled());
  EXPECT_EQ(p.dir_label->GetText(), task_.default_dir);
  EXPECT_EQ(task_.ui_window_calls, 1);
  EXPECT_NE(UIThreadWindowHandle(), nullptr);
  // Nothing starts by itself in an interactive run.
  PumpPending();
  EXPECT_EQ(task_.start_calls, 0);
}

TEST_F(MainWndTest, PagesCarryTheirTextsAndPositions) {
  Create(L"");
  const WizardPages& p = wnd_->pages();
  auto* install = p.lower_welcome->GetChildById(kIdInstallNow);
  ASSERT_NE(install, nullptr);
  EXPECT_EQ(install->GetText(), L"立即安装");
  RECT r = install->GetWindowRect();
  EXPECT_EQ(r.left, 15 + 236);
  EXPECT_EQ(r.top, 256 + 33);
  EXPECT_EQ(r.right - r.left, 198);
  auto* licence = p.lower_welcome->GetChildById(kIdLicenceLink);
  ASSERT_NE(licence, nullptr);
  EXPECT_EQ(licence->GetText(), L"《用户许可协议》");
  EXPECT_TRUE(licence->GetTakesMouse());
  EXPECT_NE(licence->GetCursorHandle(), nullptr);
  auto* back = p.lower_custom->GetChildById(kIdBack);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->GetText(), L"返回");
  EXPECT_EQ(back->GetTextColor(), static_cast<COLORREF>(0xFF8029));
  auto* launch = p.finish->GetChildById(kIdLaunch);
  ASSERT_NE(launch, nullptr);
  EXPECT_EQ(launch->GetText(), L"立即体验");
  RECT bar = p.progress_bar->GetWindowRect();
  EXPECT_EQ(bar.left, 41);
  EXPECT_EQ(bar.top, 296);
  EXPECT_EQ(p.progress_bar->GetRange(), 100u);
  EXPECT_EQ(p.close->GetWindowRect().left, 639);
  EXPECT_EQ(p.minimise->GetWindowRect().left, 606);
}

TEST_F(MainWndTest, FrameIsComposedOpaqueWhereThePageIs) {
  Create(L"");
  PumpPending();
  ASSERT_TRUE(wnd_->ComposeNow(nullptr));
  const CLayerFrame& frame = wnd_->GetFrame();
  ASSERT_EQ(frame.Width(), kWizardWidth);
  ASSERT_EQ(frame.Height(), kWizardHeight);
  // Every pixel of the page is drawn (alpha set) and the page is not the
  // bare green backdrop.
  int transparent = 0, backdrop = 0;
  for (int i = 0; i < frame.Width() * frame.Height(); ++i) {
    const DWORD px = frame.Pixels()[i];
    if ((px >> 24) == 0) ++transparent;
    if ((px & 0xFFFFFF) == 0x00FE00) ++backdrop;
  }
  EXPECT_LT(transparent, frame.Width() * frame.Height() / 10);
  EXPECT_LT(backdrop, frame.Width() * frame.Height() / 10);
}

TEST_F(MainWndTest, CustomLinkAndBackSwitchTheLowerGroups) {
  Create(L"");
  const WizardPages& p = wnd_->pages();
  Click(p.lower_welcome->GetChildById(kIdCustomLink));
  EXPECT_EQ(wnd_->page_name(), L"dialog_custom");
  EXPECT_FALSE(p.lower_welcome->IsVisible());
  EXPECT_TRUE(p.lower_custom->IsVisible());
  EXPECT_TRUE(p.welcome->IsVisible());
  Click(p.lower_custom->GetChildById(kIdBack));
  EXPECT_EQ(wnd_->page_name(), L"dialog_welcome");
  EXPECT_TRUE(p.lower_welcome->IsVisible());
  EXPECT_FALSE(p.lower_custom->IsVisible());
}

TEST_F(MainWndTest, ClearingTheCheckBoxesClearsBothShortcutFlags) {
  Create(L"");
  const WizardPages& p = wnd_->pages();
  Click(p.lower_welcome->GetChildById(kIdCustomLink));
  ASSERT_TRUE(parser_.IsDesktopShortcut());
  ASSERT_TRUE(parser_.IsStartMenuShortcut());
  Click(p.desktop_check);
  EXPECT_FALSE(p.desktop_check->IsChecked());
  EXPECT_FALSE(parser_.IsDesktopShortcut());
  EXPECT_TRUE(parser_.IsStartMenuShortcut());
  Click(p.start_menu_check);
  EXPECT_FALSE(parser_.IsStartMenuShortcut());
  Click(p.start_menu_check);
  EXPECT_TRUE(parser_.IsStartMenuShortcut());
}

TEST_F(MainWndTest, BrowseIsDisabledOverAnEarlierInstallation) {
  task_.install_type = kInstallTypeExisting;
  task_.default_dir = L"E:\\Old\\Pelorix";
  Create(L"");
  EXPECT_FALSE(wnd_->pages().browse->IsEnabled());
  EXPECT_EQ(wnd_->pages().dir_label->GetText(), L"E:\\Old\\Pelorix");
}

TEST_F(MainWndTest, RejectedDirectoryWarnsAndReportsFail) {
  task_.default_dir = L"Z:\\full\\Pelorix";
  task_.rejected = {task_.default_dir};
  Create(L"");
  Click(wnd_->pages().lower_welcome->GetChildById(kIdInstallNow));
  EXPECT_EQ(wnd_->state(), kWizardChoosing);
  EXPECT_EQ(wnd_->page_name(), L"dialog_welcome");
  EXPECT_EQ(task_.start_calls, 0);
  EXPECT_TRUE(wnd_->pages().welcome_warning->IsVisible());
  EXPECT_TRUE(wnd_->pages().custom_warning->IsVisible());
  EXPECT_EQ(wnd_->pages().welcome_warning->GetText(), L"磁盘空间不足，请释放空间后重试");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].first, L"fail");
  EXPECT_EQ(reports_[0].second, L"&ex_ary[errcode]=1");
}

TEST_F(MainWndTest, InstallRequestStartsTheInstallAndLocksTheWindow) {
  Create(L"");
  const WizardPages& p = wnd_->pages();
  Click(p.lower_welcome->GetChildById(kIdInstallNow));
  EXPECT_EQ(wnd_->state(), kWizardInstalling);
  EXPECT_EQ(wnd_->page_name(), L"dialog_progress");
  EXPECT_FALSE(p.welcome->IsVisible());
  EXPECT_TRUE(p.progress->IsVisible());
  EXPECT_FALSE(p.finish->IsVisible());
  EXPECT_FALSE(p.close->IsEnabled());
  EXPECT_EQ(task_.start_calls, 1);
  EXPECT_EQ(task_.callback, static_cast<IInstallTaskCallback*>(
                                const_cast<CInstallingModel*>(&wnd_->installing_model())));
  ASSERT_EQ(task_.set_dirs.size(), 2u);  // at start, and at the request
  EXPECT_EQ(task_.set_dirs.back(), task_.default_dir);

  // Neither WM_CLOSE (Alt+F4) nor the close button ends an install.
  ::SendMessageW(wnd_->m_hWnd, WM_CLOSE, 0, 0);
  Command(kIdClose);
  PumpPending();
  EXPECT_TRUE(IsWindow(wnd_->m_hWnd));
  EXPECT_FALSE(quit_seen_);
  EXPECT_EQ(task_.close_calls, 0);

  task_.callback->OnProgress(42);
  ASSERT_TRUE(Pump([&] { return p.progress_bar->GetPosition() == 42; }));
}

TEST_F(MainWndTest, CustomDirectoryIsTheOneInstalledInto) {
  Create(L"");
  const WizardPages& p = wnd_->pages();
  Click(p.lower_welcome->GetChildById(kIdCustomLink));
  p.dir_label->SetText(L"D:\\Tools\\Pelorix", FALSE);
  Click(p.lower_custom->GetChildById(kIdInstallCustom));
  EXPECT_EQ(wnd_->state(), kWizardInstalling);
  EXPECT_EQ(task_.set_dirs.back(), L"D:\\Tools\\Pelorix");
  EXPECT_EQ(wnd_->start_model().GetInstallDir(), L"D:\\Tools\\Pelorix");
}

TEST_F(MainWndTest, FinishThenLaunchStartsTheProductAndQuits) {
  InstallThroughToFinish(L"--mainapp=--tab=3");
  const WizardPages& p = wnd_->pages();
  EXPECT_EQ(wnd_->page_name(), L"dialog_finish");
  EXPECT_FALSE(p.progress->IsVisible());
  EXPECT_TRUE(p.finish->IsVisible());
  EXPECT_TRUE(p.close->IsEnabled());
  EXPECT_EQ(InstallResult(), 0);

  Click(p.finish->GetChildById(kIdLaunch));
  ASSERT_TRUE(Pump([&] { return quit_seen_; }));
  ASSERT_EQ(task_.launches.size(), 1u);
  EXPECT_EQ(task_.launches[0].first, L"Nexhub\\pelorix\\pelorix_ui.exe");
  EXPECT_EQ(task_.launches[0].second, L"--from=setup --tab=3");
  EXPECT_FALSE(IsWindowVisible(wnd_->m_hWnd));
  EXPECT_EQ(mutex_releases_, 1);
  ASSERT_EQ(task_.logs.size(), 1u);
  EXPECT_EQ(task_.logs[0], L"quit");
  EXPECT_EQ(task_.stop_calls, 1);
  EXPECT_EQ(task_.close_calls, 1);
}

TEST_F(MainWndTest, ClosingTheFinishPageQuitsWithoutStartingTheProduct) {
  InstallThroughToFinish(L"");
  ::SendMessageW(wnd_->m_hWnd, WM_CLOSE, 0, 0);
  ASSERT_TRUE(Pump([&] { return quit_seen_; }));
  EXPECT_TRUE(task_.launches.empty());
  EXPECT_EQ(task_.close_calls, 1);
  // A second close does not stop the task again.
  ::SendMessageW(wnd_->m_hWnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(task_.stop_calls, 1);
}

TEST_F(MainWndTest, NoStartQuitsWithoutStartingAnything) {
  InstallThroughToFinish(L"--nostart --mainapp=--tab=3");
  Command(kIdLaunch);
  ASSERT_TRUE(Pump([&] { return quit_seen_; }));
  EXPECT_TRUE(task_.launches.empty());
}

TEST_F(MainWndTest, ClosingBeforeInstallingQuitsWithoutInstall) {
  Create(L"");
  Click(wnd_->pages().close);
  ASSERT_TRUE(Pump([&] { return quit_seen_; }));
  EXPECT_EQ(task_.start_calls, 0);
  EXPECT_EQ(InstallResult(), -1);
  EXPECT_EQ(task_.close_calls, 1);
}

TEST_F(MainWndTest, LinksOpenTheLicenceAndPrivacyPages) {
  Create(L"");
  Click(wnd_->pages().lower_welcome->GetChildById(kIdLicenceLink));
  Click(wnd_->pages().lower_welcome->GetChildById(kIdPrivacyLink));
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(opened_[0].rfind(L"http://", 0), 0u);
  EXPECT_NE(opened_[0].find(L"/cms/page/pelorix_software.html"), std::wstring::npos);
  EXPECT_NE(opened_[1].find(L"/cms/page/pelorix_protocol.html"), std::wstring::npos);
}

TEST_F(MainWndTest, SecondCopyBringsTheWizardBack) {
  Create(L"");
  wnd_->ShowWindow(SW_SHOW);
  wnd_->ShowWindow(SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(wnd_->m_hWnd));
  ::PostMessageW(wnd_->m_hWnd, kMsgActivateRunningSetup, 0, 0);
  ASSERT_TRUE(Pump([&] { return !IsIconic(wnd_->m_hWnd); }));
  EXPECT_TRUE(IsWindowVisible(wnd_->m_hWnd));
}

TEST_F(MainWndTest, MinimiseButtonAndSystemRestore) {
  Create(L"");
  wnd_->ShowWindow(SW_SHOW);
  Click(wnd_->pages().minimise);
  EXPECT_TRUE(IsIconic(wnd_->m_hWnd));
  PumpPending();
  ::SendMessageW(wnd_->m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(wnd_->m_hWnd));
  EXPECT_TRUE(IsWindowVisible(wnd_->m_hWnd));
  // The restored window is composed again.
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, wnd_->m_hWnd, kMsgLayerRecompose, kMsgLayerRecompose, PM_NOREMOVE));
  EXPECT_FALSE(quit_seen_);
}

TEST_F(MainWndTest, SilentRunInstallsAndStartsTheProductUnseen) {
  task_.run_worker = true;
  Create(L"--hide_ui --run --mainapp=--tab=5");
  ASSERT_TRUE(Pump([&] { return quit_seen_; }, 10000));
  EXPECT_FALSE(IsWindowVisible(wnd_->m_hWnd));
  EXPECT_EQ(task_.start_calls, 1);
  EXPECT_EQ(task_.error_answer, INSTALL_ERROR_RET_CONTINUE);
  EXPECT_EQ(wnd_->pages().progress_bar->GetPosition(), 93u);
  EXPECT_EQ(wnd_->page_name(), L"dialog_finish");
  ASSERT_EQ(task_.launches.size(), 1u);
  EXPECT_EQ(task_.launches[0].second, L"--from=setup --tab=5");
  EXPECT_EQ(InstallResult(), 0);
  // The quit routine waited for the worker's last report before closing.
  EXPECT_TRUE(task_.worker_exited);
  EXPECT_EQ(task_.close_calls, 1);
}

TEST_F(MainWndTest, SilentRunWithoutRunDropsTheMainAppValue) {
  task_.run_worker = true;
  Create(L"--hide_ui --mainapp=--tab=5");
  ASSERT_TRUE(Pump([&] { return quit_seen_; }, 10000));
  ASSERT_EQ(task_.launches.size(), 1u);
  EXPECT_EQ(task_.launches[0].second, L"--from=setup");
}

TEST_F(MainWndTest, SecondCopyLeavesASilentWizardHidden) {
  Create(L"--hide_ui --nostart");
  ::PostMessageW(wnd_->m_hWnd, kMsgActivateRunningSetup, 0, 0);
  PumpPending();
  EXPECT_FALSE(IsWindowVisible(wnd_->m_hWnd));
}

// Missing files make a failed install: the page says so, nothing starts,
// Start reads "fail". Autorun or path failures alone leave a usable install.
struct FinishCase {
  const char* name;
  bool silent;
  int ok;
  const wchar_t* failures;
};

void PrintTo(const FinishCase& c, std::ostream* os) { *os << c.name; }

class FinishOutcomeTest : public MainWndTest, public ::testing::WithParamInterface<FinishCase> {};

TEST_P(FinishOutcomeTest, OnlyAUsableInstallStartsTheProduct) {
  const FinishCase& c = GetParam();
  if (c.silent) {
    task_.run_worker = true;
    task_.finish_ok = c.ok;
    task_.finish_failures = c.failures;
    Create(L"--hide_ui");
  } else {
    InstallThroughToFinish(L"", c.ok, c.failures);
    const WizardPages& p = wnd_->pages();
    EXPECT_TRUE(p.finish->IsVisible());
    EXPECT_TRUE(p.close->IsEnabled());
    EXPECT_EQ(p.finish->GetChildById(kIdLaunch)->IsVisible() != FALSE, c.ok != 0);
    EXPECT_EQ(p.finish->GetChildById(kIdFinishTitle)->GetText(),
              c.ok ? L"\u5B89\u88C5\u5B8C\u6210" : L"\u5B89\u88C5\u51FA\u9519,\u8BF7\u91CD\u65B0\u4E0B\u8F7D\u5B89\u88C5\u7A0B\u5E8F\u8FDB\u884C\u5B89\u88C5");
    // A launch command that slips through starts nothing either.
    Command(kIdLaunch);
    PumpPending();
    ::SendMessageW(wnd_->m_hWnd, WM_CLOSE, 0, 0);
  }
  ASSERT_TRUE(Pump([&] { return quit_seen_; }, 10000));
  EXPECT_EQ(wnd_->page_name(), L"dialog_finish");
  EXPECT_EQ(task_.launches.size(), c.ok ? 1u : 0u);
  EXPECT_EQ(InstallResult(), c.ok ? 0 : -1);
  ASSERT_FALSE(reports_.empty());
  EXPECT_EQ(reports_.back().first, c.ok ? L"install_success" : L"fail");
  EXPECT_EQ(reports_.back().second, c.ok ? L"" : L"&ex_ary[errcode]=9");
  EXPECT_EQ(task_.close_calls, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, FinishOutcomeTest,
    ::testing::Values(FinishCase{"Interactive", false, 1, L""},
                      FinishCase{"InteractiveDegraded", false, 1, L"|set autorun fail|write path reg fail"},
                      FinishCase{"InteractiveFilesMissing", false, 0, L"|copy file fail"},
                      FinishCase{"SilentDegraded", true, 1, L"|set autorun fail"},
                      FinishCase{"SilentFilesMissing", true, 0, L"|copy file fail"}),
    [](const ::testing::TestParamInfo<FinishCase>& info) { return std::string(info.param.name); });

}  // namespace
