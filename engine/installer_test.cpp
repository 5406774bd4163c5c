#include "engine/installer.h"

#include <float.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "base/window/ui_thread_window.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

// Staged names handed out in order, the way the staging queue does: a "wait"
// answer (more == 0) before every name, then the end.
class FakeFiles : public package::IFileManager {
 public:
  std::wstring dir;
  std::deque<std::wstring> names;
  int total = 0;
  int result = 1;

  void Release() override {}
  bool Init(HMODULE, UINT, const wchar_t*) override { return true; }
  bool GetNextFile(wchar_t* name, int capacity, int* index, int* count, int* more) override {
    *more = 1;
    if (names.empty()) return false;
    if (!waited_) {
      waited_ = true;
      *more = 0;
      return true;
    }
    waited_ = false;
    wcsncpy(name, names.front().c_str(), capacity);
    names.pop_front();
    *index = ++taken_;
    *count = total;
    return true;
  }
  bool Start() override { return true; }
  bool Stop(bool) override { return true; }
  int GetResult() override { return result; }
  bool GetTempDir(wchar_t* out, int capacity) override {
    wcsncpy(out, dir.c_str(), capacity);
    return true;
  }
  ~FakeFiles() override = default;

 private:
  bool waited_ = false;
  int taken_ = 0;
};

// Records what the sequence asks of the machine and answers as told.
class RecordingSteps : public IInstallSteps {
 public:
  std::vector<std::wstring> calls;
  std::vector<std::wstring> closed_classes;
  std::vector<std::wstring> placed;
  std::wstring fail_placing;  // destination suffix that fails
  int autorun = 1;
  bool path_written = true;
  std::wstring aborted_staging;

  void CloseRunningProduct(const std::vector<std::wstring>& classes, const std::wstring& dir) override {
    closed_classes = classes;
    calls.push_back(L"close " + dir);
  }
  void PrunePendingRenames(const std::wstring&) override { calls.push_back(L"prune"); }
  void DeleteTempFiles(const std::wstring&) override { calls.push_back(L"tmp"); }
  void DeleteUpdateFolder(const std::wstring&) override { calls.push_back(L"update"); }
  bool CreateInstallDir(const std::wstring& dir) override {
    calls.push_back(L"mkdir " + dir + L" after " + std::to_wstring(placed.size()));
    return true;
  }
  void MarkUnfinished(const std::wstring&, bool unfinished) override {
    calls.push_back(std::wstring(L"unfinished ") + (unfinished ? L"on" : L"off") + L" after " +
                    std::to_wstring(placed.size()));
  }
  bool PlaceFile(const std::wstring& source, const std::wstring& destination) override {
    placed.push_back(source + L">" + destination);
    return fail_placing.empty() || destination.size() < fail_placing.size() ||
           destination.compare(destination.size() - fail_placing.size(), std::wstring::npos, fail_placing) != 0;
  }
  void MigratePrevious(const std::wstring& source, const std::wstring& tdir, const std::wstring&) override {
    calls.push_back(L"migrate " + source + L" " + tdir);
  }
  void InstallBrowserEngine(const std::wstring&) override { calls.push_back(L"browser"); }
  void UpdateConfigPaths(const std::wstring&) override { calls.push_back(L"updatecfg"); }
  int SetAutorun(const std::wstring&) override {
    calls.push_back(L"autorun");
    return autorun;
  }
  bool WritePathRegistry(const std::wstring&) override {
    calls.push_back(L"pathreg");
    return path_written;
  }
  void CreateShortcuts(const std::wstring&, bool desktop, bool start_menu) override {
    calls.push_back(std::wstring(L"shortcuts ") + (desktop ? L"1" : L"0") + (start_menu ? L"1" : L"0"));
  }
  void WriteUninstallEntry(const std::wstring&) override { calls.push_back(L"uninstall"); }
  void ReportStatistic(const wchar_t* action) override { calls.push_back(std::wstring(L"stat ") + action); }
  void AbortSetup(const std::wstring& staging) override { aborted_staging = staging; }
};

// Records every report with the thread it arrived on.
class RecordingListener : public IInstallTaskCallback {
 public:
  std::vector<std::wstring> events;
  std::vector<int> marks;
  tagINSTALL_ERROR_RET answer = INSTALL_ERROR_RET_CONTINUE;
  int finish_ok = -1;
  std::wstring failures;
  bool off_ui_thread = false;
  DWORD exit_thread = 0;
  HANDLE exited = CreateEventW(nullptr, TRUE, FALSE, nullptr);

  ~RecordingListener() { CloseHandle(exited); }
  void OnStart() override { Note(L"start"); }
  void OnProgress(int percent) override {
    Note(L"progress");
    marks.push_back(percent);
  }
  void OnError(tagINSTALL_ERROR code, const wchar_t* text, tagINSTALL_ERROR_RET* preset) override {
    Note(L"error " + std::to_wstring(code) + L" " + text + L" preset " + std::to_wstring(*preset));
    *preset = answer;
  }
  void OnCopyDone(int ok) override { Note(L"copydone " + std::to_wstring(ok)); }
  void OnFinish(int ok, const wchar_t* tails) override {
    Note(L"finish");
    finish_ok = ok;
    failures = tails;
  }
  void OnThreadExit() override {
    exit_thread = GetCurrentThreadId();
    SetEvent(exited);
  }

 private:
  void Note(const std::wstring& event) {
    if (GetCurrentThreadId() != ui_thread_) off_ui_thread = true;
    events.push_back(event);
  }
  DWORD ui_thread_ = GetCurrentThreadId();
};

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateUIThreadWindow(), 1);
    ASSERT_TRUE(package::NewTempPath(&files_.dir));
    ASSERT_TRUE(package::CreateDirectories(files_.dir, nullptr));
  }
  void TearDown() override {
    package::DeleteTree(files_.dir);
    DestroyUIThreadWindow();
  }

  // `count` staged files "f<i>.bin" (existing unless listed in `missing`).
  void Stage(int count, const std::vector<int>& missing = {}) {
    for (int i = 1; i <= count; ++i) {
      const std::wstring name = L"sub\\f" + std::to_wstring(i) + L".bin";
      files_.names.push_back(name);
      bool skip = false;
      for (int m : missing) skip |= m == i;
      if (skip) continue;
      package::CreateDirectories(files_.dir + L"\\sub", nullptr);
      HANDLE h = CreateFileW((files_.dir + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      ASSERT_NE(h, INVALID_HANDLE_VALUE);
      CloseHandle(h);
    }
    files_.total = count;
  }

  // Runs one install with the dispatcher on this thread, pumping its messages
  // until the worker's last report.
  void RunInstall(const InstallOptions& options = InstallOptions()) {
    CInstaller installer;
    installer.Prepare(L"C:\\Dest", archive_library_, &files_, options, &steps_);
    ASSERT_TRUE(installer.Start(&listener_));
    for (;;) {
      DWORD r = MsgWaitForMultipleObjects(1, &listener_.exited, FALSE, 30000, QS_ALLINPUT);
      if (r == WAIT_OBJECT_0) break;
      ASSERT_EQ(r, WAIT_OBJECT_0 + 1) << "the install never ended";
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    ASSERT_TRUE(installer.Join(10000));
  }

  FakeFiles files_;
  RecordingSteps steps_;
  RecordingListener listener_;
  std::wstring archive_library_;
};

TEST_F(InstallerTest, OneFileGivesTheFixedMarksInOrderOnTheUIThread) {
  Stage(1);
  archive_library_ = files_.dir + L"\\7z.dll";
  RunInstall();
  EXPECT_EQ(listener_.marks, (std::vector<int>{0, 2, 3, 4, 5, 93, 93, 96, 98}));
  EXPECT_FALSE(listener_.off_ui_thread);
  EXPECT_NE(listener_.exit_thread, GetCurrentThreadId()) << "OnThreadExit is the worker's own call";
  EXPECT_EQ(listener_.events.front(), L"start");
  EXPECT_EQ(listener_.events.back(), L"finish");
  EXPECT_EQ(listener_.finish_ok, 1);
  EXPECT_EQ(listener_.failures, L"");
  ASSERT_EQ(steps_.placed.size(), 2u);
  EXPECT_EQ(steps_.placed[0], files_.dir + L"\\sub\\f1.bin>C:\\Dest\\sub\\f1.bin");
  EXPECT_EQ(steps_.placed[1], archive_library_ + L">C:\\Dest\\Utils\\7z.dll");
  EXPECT_EQ(steps_.calls,
            (std::vector<std::wstring>{L"close C:\\Dest", L"prune", L"tmp", L"update", L"mkdir C:\\Dest after 0",
                                       L"unfinished on after 0", L"unfinished off after 2", L"browser", L"updatecfg", L"autorun", L"stat schedule", L"pathreg",
                                       L"shortcuts 11", L"uninstall"}));
  EXPECT_EQ(steps_.closed_classes,
            (std::vector<std::wstring>{L"PelorixMainWndClassName", L"QuentaUIWndClass"}));
}

TEST_F(InstallerTest, CopyMarksRiseToNinetyThreeForAHundredFiles) {
  Stage(100);
  RunInstall();
  ASSERT_EQ(listener_.marks.size(), 5u + 100u + 3u);
  std::vector<int> copy(listener_.marks.begin() + 5, listener_.marks.begin() + 105);
  for (size_t i = 1; i < copy.size(); ++i) EXPECT_LE(copy[i - 1], copy[i]) << i;
  EXPECT_EQ(copy.front(), 5);  // 1/100 of 88 is below one point
  EXPECT_EQ(copy.back(), 93);
  EXPECT_EQ(CopyProgress(50, 100), 49);
}

TEST(CopyProgress, RoundsEveryStepToSinglePrecision) {
  // Pairs where single and double (or x87 extended) precision disagree.
  const struct { int copied, total, mark; } kCases[] = {
      {13, 22, 56}, {13, 44, 30}, {26, 44, 56}, {22, 22, 93}, {0, 22, 5}};
  // Whatever precision the x87 unit is set to: Windows programs often run
  // with 53 bits, where 13/22 would come out as 57.
  const unsigned int saved = _controlfp(0, 0);
  for (unsigned int precision : {static_cast<unsigned int>(_PC_64), static_cast<unsigned int>(_PC_53)}) {
    _controlfp(precision, _MCW_PC);
    for (const auto& c : kCases) {
      EXPECT_EQ(CopyProgress(c.copied, c.total), c.mark) << c.copied << "/" << c.total << " precision " << precision;
    }
  }
  _controlfp(saved, _MCW_PC);
}

TEST_F(InstallerTest, FailuresCollectTheirTailsInOrderAndTheRunGoesOn) {
  Stage(3);
  steps_.fail_placing = L"f2.bin";
  steps_.autorun = 0;
  steps_.path_written = false;
  RunInstall();
  EXPECT_EQ(listener_.finish_ok, 0);
  EXPECT_EQ(listener_.failures, L"|copy file fail|set autorun fail|write path reg fail");
  // The failed file was asked about once, with the answer preset to abort,
  // and the copy went on to the third file.
  int asked = 0;
  for (const auto& e : listener_.events) asked += e == L"error 1 \u6587\u4EF6\u62F7\u8D1D\u5931\u8D25 preset 2";
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(steps_.placed.size(), 3u);
  EXPECT_TRUE(steps_.aborted_staging.empty());
  EXPECT_NE(std::find(listener_.events.begin(), listener_.events.end(), L"copydone 0"), listener_.events.end());
  EXPECT_EQ(std::count(steps_.calls.begin(), steps_.calls.end(), L"stat schedule"), 0);
}

TEST_F(InstallerTest, AnyAnswerButContinueAbortsTheSetup) {
  Stage(2);
  steps_.fail_placing = L"f1.bin";
  listener_.answer = INSTALL_ERROR_RET_ABORT;
  RunInstall();
  EXPECT_EQ(steps_.aborted_staging, files_.dir);
}

TEST_F(InstallerTest, MissingStagedFileOrFailedStagingFailsTheCopyWithoutAQuestion) {
  Stage(3, {2});
  RunInstall();
  EXPECT_EQ(listener_.failures, L"|copy file fail");
  EXPECT_EQ(listener_.finish_ok, 0);
  EXPECT_EQ(steps_.placed.size(), 2u);
  for (const auto& e : listener_.events) EXPECT_NE(e.rfind(L"error", 0), 0u) << e;
  // No mark for the missing file: 5 + 2 + 3.
  EXPECT_EQ(listener_.marks.size(), 10u);
}

// Only files missing from the install directory make the install unusable;
// autorun and the path value only leave their tails.
struct OutcomeCase {
  const char* name;
  const wchar_t* fail_placing;
  int staging_result;
  int autorun;
  bool path_written;
  int ok;
  const wchar_t* tails;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class InstallOutcomeTest : public InstallerTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(InstallOutcomeTest, OkMeansEveryFileInPlace) {
  const OutcomeCase& c = GetParam();
  Stage(2);
  steps_.fail_placing = c.fail_placing;
  files_.result = c.staging_result;
  steps_.autorun = c.autorun;
  steps_.path_written = c.path_written;
  RunInstall();
  EXPECT_EQ(listener_.finish_ok, c.ok);
  EXPECT_EQ(listener_.failures, c.tails);
  EXPECT_NE(std::find(listener_.events.begin(), listener_.events.end(), L"copydone " + std::to_wstring(c.ok)),
            listener_.events.end());
  EXPECT_EQ(std::count(steps_.calls.begin(), steps_.calls.end(), L"stat schedule"), c.autorun == 1 ? 1 : 0);
  // An install that is not usable stays marked for the next run to complete.
  EXPECT_EQ(std::count_if(steps_.calls.begin(), steps_.calls.end(),
                          [](const std::wstring& call) { return call.rfind(L"unfinished off", 0) == 0; }),
            c.ok);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, InstallOutcomeTest,
    ::testing::Values(OutcomeCase{"Clean", L"", 1, 1, true, 1, L""},
                      OutcomeCase{"AutorunUnknown", L"", 1, 2, true, 1, L""},
                      OutcomeCase{"AutorunFailed", L"", 1, 0, true, 1, L"|set autorun fail"},
                      OutcomeCase{"PathFailed", L"", 1, 1, false, 1, L"|write path reg fail"},
                      OutcomeCase{"BothDegraded", L"", 1, 0, false, 1, L"|set autorun fail|write path reg fail"},
                      OutcomeCase{"FileNotPlaced", L"f1.bin", 1, 1, true, 0, L"|copy file fail"},
                      OutcomeCase{"StagingFailed", L"", 0, 1, true, 0, L"|copy file fail"}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return std::string(info.param.name); });

TEST_F(InstallerTest, CommandLineChoicesReachTheirSteps) {
  Stage(1);
  InstallOptions options;
  options.close_product_windows = false;
  options.migrate = true;
  options.migrate_source = L"corvale";
  options.migrate_target_dir = L"D:\\Old";
  options.desktop_shortcut = false;
  options.start_menu_shortcut = false;
  RunInstall(options);
  EXPECT_TRUE(steps_.closed_classes.empty());
  EXPECT_EQ(steps_.calls[0], L"close C:\\Dest") << "processes are still ended";
  EXPECT_NE(std::find(steps_.calls.begin(), steps_.calls.end(), L"migrate corvale D:\\Old"), steps_.calls.end());
  EXPECT_NE(std::find(steps_.calls.begin(), steps_.calls.end(), L"shortcuts 00"), steps_.calls.end());
}

TEST_F(InstallerTest, ClosedInstallerRunsToTheEndWithoutReporting) {
  Stage(2);
  CInstaller installer;
  installer.Prepare(L"C:\\Dest", L"", &files_, InstallOptions(), &steps_);
  ASSERT_TRUE(installer.Start(&listener_));
  installer.Close();
  // Reports that reach the dispatcher only now find no listener.
  MSG msg;
  while (!installer.Join(20)) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  EXPECT_EQ(steps_.calls.back(), L"uninstall");
  EXPECT_TRUE(listener_.events.empty());
  EXPECT_EQ(WaitForSingleObject(listener_.exited, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
}  // namespace engine
