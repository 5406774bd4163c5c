#include "ui/install_models.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "engine/command_parser.h"
#include "engine/process_state.h"
#include "ui/fake_install_task.h"

namespace {

struct Posted {
  UINT msg;
  WPARAM wparam;
};

class InstallModelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetInstallResult(-1);
    // A hidden window to receive what the models post.
    wnd_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                           nullptr);
    ASSERT_NE(wnd_, nullptr);
    services_.task = &task_;
    services_.parser = &parser_;
    services_.report = [this](const wchar_t* action, const wchar_t* extra) {
      reports_.emplace_back(action, extra);
    };
  }
  void TearDown() override {
    DestroyWindow(wnd_);
    SetInstallResult(-1);
  }

  std::vector<Posted> TakePosted() {
    std::vector<Posted> posted;
    MSG msg;
    while (PeekMessageW(&msg, wnd_, WM_USER, 0xBFFF, PM_REMOVE))
      posted.push_back({msg.message, msg.wParam});
    return posted;
  }

  HWND wnd_ = nullptr;
  FakeInstallTask task_;
  CCommandParser parser_;
  WizardServices services_;
  std::vector<std::pair<std::wstring, std::wstring>> reports_;
};

TEST_F(InstallModelsTest, StartModelTakesAcceptedCommandLineDirectory) {
  parser_.Parse(L"/DIR=D:\\Apps\\Pelorix");
  CInstallStartModel model(services_);
  EXPECT_EQ(model.GetInstallDir(), L"D:\\Apps\\Pelorix");
  ASSERT_EQ(task_.set_dirs.size(), 1u);
  EXPECT_EQ(task_.set_dirs[0], L"D:\\Apps\\Pelorix");
}

TEST_F(InstallModelsTest, StartModelFallsBackToDefaultWhenRejectedOrAbsent) {
  task_.rejected = {L"Q:\\nowhere"};
  parser_.Parse(L"/DIR=Q:\\nowhere");
  CInstallStartModel rejected(services_);
  EXPECT_EQ(rejected.GetInstallDir(), task_.default_dir);

  CCommandParser empty;
  services_.parser = &empty;
  CInstallStartModel absent(services_);
  EXPECT_EQ(absent.GetInstallDir(), task_.default_dir);
  ASSERT_EQ(task_.set_dirs.size(), 2u);
  EXPECT_EQ(task_.set_dirs[0], task_.default_dir);
  EXPECT_EQ(task_.set_dirs[1], task_.default_dir);
}

TEST_F(InstallModelsTest, StartModelRunPostsBeginInstall) {
  CInstallStartModel model(services_);
  model.SetWnd(wnd_);
  model.Run();
  std::vector<Posted> posted = TakePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].msg, kMsgWizardStep);
  EXPECT_EQ(posted[0].wparam, kStepBeginInstall);
}

TEST_F(InstallModelsTest, InstallingModelStartsTheTaskWithItselfAsCallback) {
  CInstallingModel model(services_);
  model.Run();
  EXPECT_EQ(task_.start_calls, 1);
  EXPECT_EQ(task_.callback, static_cast<IInstallTaskCallback*>(&model));
}

TEST_F(InstallModelsTest, ProgressBecomesAWindowMessage) {
  CInstallingModel model(services_);
  model.SetWnd(wnd_);
  model.OnProgress(37);
  model.OnStart();
  model.OnCopyDone(1);
  std::vector<Posted> posted = TakePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].msg, kMsgInstallProgress);
  EXPECT_EQ(posted[0].wparam, 37u);
}

TEST_F(InstallModelsTest, ErrorsAreAnsweredContinue) {
  CInstallingModel model(services_);
  tagINSTALL_ERROR_RET answer = INSTALL_ERROR_RET_ABORT;
  model.OnError(INSTALL_ERROR_COPY_FILE, L"x", &answer);
  EXPECT_EQ(answer, INSTALL_ERROR_RET_CONTINUE);
  model.OnError(INSTALL_ERROR_COPY_FILE, L"x", nullptr);  // no answer slot: no crash
}

TEST_F(InstallModelsTest, SuccessfulFinishWritesPidSetsResultAndReports) {
  parser_.Parse(L"--pid=qa_channel");
  CInstallingModel model(services_);
  model.SetWnd(wnd_);
  EXPECT_EQ(model.completion_event(), nullptr);
  model.OnFinish(1, L"");

  std::vector<Posted> posted = TakePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].msg, kMsgWizardStep);
  EXPECT_EQ(posted[0].wparam, kStepInstallDone);

  ASSERT_EQ(task_.registry_writes.size(), 1u);
  const RegistryValueRecord& record = task_.registry_writes[0];
  EXPECT_EQ(record.root, HKEY_LOCAL_MACHINE);
  EXPECT_STREQ(record.subkey, L"SOFTWARE\\Pelorix");
  EXPECT_STREQ(record.name, L"pid");
  EXPECT_EQ(record.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(task_.registry_data[0], parser_.GetPid());
  EXPECT_FALSE(parser_.GetPid().empty());

  EXPECT_EQ(InstallResult(), 0);
  EXPECT_TRUE(model.usable());
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].first, L"install_success");

  // The event exists, unsignalled, until the worker's last report.
  ASSERT_NE(model.completion_event(), nullptr);
  EXPECT_EQ(WaitForSingleObject(model.completion_event(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  model.OnThreadExit();
  EXPECT_EQ(WaitForSingleObject(model.completion_event(), 0), WAIT_OBJECT_0);
}

TEST_F(InstallModelsTest, FailedFinishIsNotReportedAsSuccess) {
  CInstallingModel model(services_);
  model.SetWnd(wnd_);
  model.OnFinish(0, L"|copy file fail");
  // The finish page still follows, and the channel id is still recorded.
  std::vector<Posted> posted = TakePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].wparam, kStepInstallDone);
  EXPECT_EQ(task_.registry_writes.size(), 1u);
  EXPECT_EQ(InstallResult(), -1);
  EXPECT_FALSE(model.usable());
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].first, L"fail");
  EXPECT_EQ(reports_[0].second, L"&ex_ary[errcode]=9");
}

TEST_F(InstallModelsTest, ThreadExitWithoutFinishCreatesNothing) {
  CInstallingModel model(services_);
  model.OnThreadExit();
  EXPECT_EQ(model.completion_event(), nullptr);
  model.WaitForWorkerExit();  // returns at once
}

TEST_F(InstallModelsTest, WaitForWorkerExitStillAnswersSentCalls) {
  CInstallingModel model(services_);
  model.SetWnd(wnd_);
  model.OnFinish(1, L"");
  // The worker sends one more call to this thread before it exits; a plain
  // wait would never let it through.
  bool ran = false;
  std::thread worker([&] {
    Sleep(50);
    SendMessageW(wnd_, WM_NULL, 0, 0);
    ran = true;
    model.OnThreadExit();
  });
  model.WaitForWorkerExit();
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_EQ(WaitForSingleObject(model.completion_event(), 0), WAIT_OBJECT_0);
}

struct LaunchCase {
  const wchar_t* command_line;
  bool launched;
  const wchar_t* arguments;
};

class FinishModelTest : public InstallModelsTest,
                        public ::testing::WithParamInterface<LaunchCase> {};

TEST_P(FinishModelTest, StartsTheProductWithTheArgumentsOfTheRun) {
  const LaunchCase& c = GetParam();
  parser_.Parse(c.command_line);
  CInstallFinishModel model(services_);
  model.SetWnd(wnd_);
  model.Run();
  if (c.launched) {
    ASSERT_EQ(task_.launches.size(), 1u);
    EXPECT_EQ(task_.launches[0].first, L"Nexhub\\pelorix\\pelorix_ui.exe");
    EXPECT_EQ(task_.launches[0].second, c.arguments);
  } else {
    EXPECT_TRUE(task_.launches.empty());
  }
  std::vector<Posted> posted = TakePosted();
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].msg, kMsgWizardStep);
  EXPECT_EQ(posted[0].wparam, kStepFlowComplete);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FinishModelTest,
    ::testing::Values(
        LaunchCase{L"", true, L"--from=setup"},
        LaunchCase{L"--mainapp=--tab=2", true, L"--from=setup --tab=2"},
        LaunchCase{L"--mainapp=", true, L"--from=setup"},
        LaunchCase{L"--hide_ui --mainapp=--tab=2", true, L"--from=setup"},
        LaunchCase{L"--hide_ui --run --mainapp=--tab=2", true, L"--from=setup --tab=2"},
        LaunchCase{L"--hide_ui --run", true, L"--from=setup"},
        LaunchCase{L"--nostart --mainapp=--tab=2", false, L""},
        LaunchCase{L"--hide_ui --run --nostart", false, L""}));

}  // namespace
