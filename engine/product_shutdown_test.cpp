// Runs in a throw-away prefix per case: the cases end processes. The programs
// that stand in for the product come from tests/shutdown, beside this one.
#include "engine/product_shutdown.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "base/scoped_handle.h"
#include "engine/placement_test_support.h"
#include "engine/process_image.h"
#include "engine/product_registration.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

using testing_support::ReadText;
using testing_support::ScopedTempDir;

constexpr DWORD kExitWaitMs = 10000;

std::wstring BesideTest(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}

// A helper program run from a copy at `image` (folders created), so that its
// program path is the one a case needs; with `by_short_name` it is started
// through the 8.3 form of that path. Ended at destruction if still running.
class CHelper {
 public:
  CHelper(const wchar_t* program, const std::wstring& image, const std::wstring& args, bool wait_ready = true,
          bool by_short_name = false) {
    static int counter = 0;
    const std::wstring event_name =
        L"pelorix_shutdown_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
    base::ScopedHandle ready(CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
    if (!ready || !package::CreateDirectories(image.substr(0, image.find_last_of(L'\\')), nullptr) ||
        !CopyFileW(BesideTest(program).c_str(), image.c_str(), FALSE)) {
      return;
    }
    wchar_t short_name[MAX_PATH] = {};
    if (by_short_name && !GetShortPathNameW(image.c_str(), short_name, MAX_PATH)) return;
    launched_ = by_short_name ? short_name : image;
    // The helpers that signal readiness take the event as their first word.
    std::wstring command = L"\"" + launched_ + L"\" " + (wait_ready ? event_name + L" " : L"") + args;
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(launched_.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      return;
    }
    CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
    if (!wait_ready) {
      started_ = true;
      return;
    }
    HANDLE waits[] = {ready.Get(), process_.Get()};
    started_ = WaitForMultipleObjects(2, waits, FALSE, kExitWaitMs) == WAIT_OBJECT_0;
  }
  ~CHelper() {
    if (process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.Get(), 99);
      WaitForSingleObject(process_.Get(), kExitWaitMs);
    }
  }
  CHelper(const CHelper&) = delete;
  CHelper& operator=(const CHelper&) = delete;

  bool started() const { return started_; }
  const std::wstring& launched() const { return launched_; }
  bool Running() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
  // The exit code once it has ended within `ms`; -1 while it runs.
  long ExitCode(DWORD ms = kExitWaitMs) const {
    DWORD code = 0;
    if (WaitForSingleObject(process_.Get(), ms) != WAIT_OBJECT_0 || !GetExitCodeProcess(process_.Get(), &code)) {
      return -1;
    }
    return static_cast<long>(code);
  }

 private:
  base::ScopedHandle process_;
  std::wstring launched_;
  bool started_ = false;
};

std::unique_ptr<CHelper> Sleeper(const std::wstring& image) {
  return std::make_unique<CHelper>(L"shutdown_sleeper.exe", image, L"");
}

// A top-level window of `window_class` whose program records what it is
// told; with `stay` it does not quit on WM_CLOSE.
std::unique_ptr<CHelper> FakeProduct(const std::wstring& image, const wchar_t* window_class,
                                     const std::wstring& record, bool stay = false) {
  return std::make_unique<CHelper>(L"shutdown_fake_product.exe", image,
                                   std::wstring(window_class) + L" \"" + record + L"\"" + (stay ? L" stay" : L""));
}

// Waits until the record file holds `line` (a product answers asynchronously).
bool WaitForRecord(const std::wstring& record, const std::string& line, DWORD ms = 5000) {
  for (DWORD waited = 0;; waited += 50) {
    const std::string text = ReadText(record);
    if (text.find(line + "\n") != std::string::npos) return true;
    if (waited >= ms) return false;
    Sleep(50);
  }
}

TEST(EndProcessesUnder, EndsTheProcessesInTheDirectoryAndBelowOnly) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  for (const wchar_t* dir : {L"App", L"App\\"}) {
    auto inside = Sleeper(root.Child(L"App\\x.exe"));
    auto deeper = Sleeper(root.Child(L"App\\bin\\tools\\y.exe"));
    auto apple = Sleeper(root.Child(L"Apple\\x.exe"));  // shares the text, not the folder
    auto shorter = Sleeper(root.Child(L"Ap\\x.exe"));
    auto other = Sleeper(root.Child(L"Other\\App\\x.exe"));
    for (auto* h : {inside.get(), deeper.get(), apple.get(), shorter.get(), other.get()}) ASSERT_TRUE(h->started());

    int ended = -1;
    EXPECT_EQ(TRUE, EndProcessesUnder(root.Child(dir), &ended)) << dir;
    EXPECT_EQ(2, ended) << dir;
    EXPECT_EQ(0, inside->ExitCode()) << dir;
    EXPECT_EQ(0, deeper->ExitCode()) << dir;
    EXPECT_TRUE(apple->Running()) << dir;
    EXPECT_TRUE(shorter->Running()) << dir;
    EXPECT_TRUE(other->Running()) << dir;
  }
}

TEST(EndProcessesUnder, MatchesOnAPathBoundary) {
  const struct {
    const wchar_t* image;
    const wchar_t* dir;
    bool in;
  } cases[] = {
      {L"C:\\Program Files\\x.exe", L"C:\\Prog", false},
      {L"C:\\ProgramData\\y.exe", L"C:\\Prog", false},
      {L"C:\\Prog\\x.exe", L"C:\\Prog", true},
      {L"C:\\Prog\\x.exe", L"C:\\Prog\\", true},
      {L"C:\\Prog\\a\\b\\x.exe", L"c:\\PROG", true},
      {L"C:\\Prog", L"C:\\Prog\\", true},
      {L"C:\\Pro", L"C:\\Prog", false},
      {L"C:\\Prog2\\x.exe", L"C:\\Prog", false},
      {L"C:\\Prog\\x.exe", L"", false},
      {L"D:\\Prog\\x.exe", L"C:\\Prog", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.in, IsInDirectory(UpperCase(c.image), c.dir)) << c.image << L" in " << c.dir;
  }
}

TEST(EndProcessesUnder, ComparesWithoutCase) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  auto sleeper = Sleeper(root.Child(L"MixedCase\\Prog.exe"));
  ASSERT_TRUE(sleeper->started());
  std::wstring dir = root.Child(L"mixedcase");
  CharUpperBuffW(&dir[0], 3);  // "C:\" to upper, the rest as given
  int ended = -1;
  EXPECT_EQ(TRUE, EndProcessesUnder(dir, &ended));
  EXPECT_EQ(1, ended);
  EXPECT_EQ(0, sleeper->ExitCode());
}

// A program started through its 8.3 name is compared in its long form.
TEST(EndProcessesUnder, ProgramStartedByItsShortNameIsMatched) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  CHelper sleeper(L"shutdown_sleeper.exe", root.Child(L"Long Folder Name\\Long Program Name.exe"), L"", true, true);
  ASSERT_TRUE(sleeper.started());
  ASSERT_NE(std::wstring::npos, sleeper.launched().find(L'~')) << sleeper.launched();
  int ended = -1;
  EXPECT_EQ(TRUE, EndProcessesUnder(root.Child(L"Long Folder Name"), &ended));
  EXPECT_EQ(1, ended);
  EXPECT_EQ(0, sleeper.ExitCode());
}

// "C:\" would match every program on the drive.
TEST(EndProcessesUnder, RefusesTooShortAndTooLongDirectories) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  auto sleeper = Sleeper(root.Child(L"s.exe"));
  ASSERT_TRUE(sleeper->started());
  const std::wstring drive = root.path().substr(0, 3);
  const std::wstring too_long = root.path() + L"\\" + std::wstring(MAX_PATH, L'x');
  for (const std::wstring& dir : {drive, drive.substr(0, 2), std::wstring(), too_long.substr(0, MAX_PATH + 1)}) {
    int ended = -1;
    EXPECT_EQ(FALSE, EndProcessesUnder(dir, &ended)) << dir;
    EXPECT_EQ(0, ended) << dir;
  }
  EXPECT_TRUE(sleeper->Running());
  // The longest directory accepted.
  int ended = -1;
  EXPECT_EQ(TRUE, EndProcessesUnder(too_long.substr(0, MAX_PATH), &ended));
  EXPECT_EQ(0, ended);
  EXPECT_TRUE(sleeper->Running());
}

// The setup may run from inside the directory it clears: the process calling
// EndProcessesUnder and the one that started it are both under the
// directory, and both must live on while a third one there is ended.
TEST(EndProcessesUnder, NeverEndsTheCallerOrItsParent) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  const std::wstring dir = root.Child(L"App");
  auto sleeper = Sleeper(dir + L"\\Nexhub\\s.exe");
  ASSERT_TRUE(sleeper->started());
  const std::wstring result = root.Child(L"result.txt");
  CHelper parent(L"shutdown_end_under.exe", dir + L"\\end_under.exe",
                 L"spawn end \"" + dir + L"\" \"" + result + L"\"", false);
  ASSERT_TRUE(parent.started());
  EXPECT_EQ(107, parent.ExitCode(60000));  // 100 + the child's own 7
  EXPECT_EQ("1 1", ReadText(result));
  EXPECT_EQ(0, sleeper->ExitCode());
}

TEST(EndProcessByPath, EndsOnlyThatProgram) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  const std::wstring main_program = MainProgramPath(root.path());
  auto product = Sleeper(main_program);
  auto similar = Sleeper(root.Child(L"Nexhub\\pelorix\\pelorix_ui2.exe"));
  auto nested = Sleeper(root.Child(L"Nexhub\\pelorix\\old\\pelorix_ui.exe"));
  for (auto* h : {product.get(), similar.get(), nested.get()}) ASSERT_TRUE(h->started());

  std::wstring upper = main_program;
  CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
  int ended = -1;
  EXPECT_EQ(TRUE, EndProcessByPath(upper, &ended));
  EXPECT_EQ(1, ended);
  EXPECT_EQ(0, product->ExitCode());
  EXPECT_TRUE(similar->Running());
  EXPECT_TRUE(nested->Running());

  EXPECT_EQ(FALSE, EndProcessByPath(std::wstring(MAX_PATH + 1, L'x'), &ended));
  EXPECT_EQ(0, ended);
}

// Both the caller and its parent run the very program asked for; neither is
// ended.
TEST(EndProcessByPath, NeverEndsTheCallerOrItsParent) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  const std::wstring main_program = MainProgramPath(root.path());
  const std::wstring result = root.Child(L"result.txt");
  CHelper parent(L"shutdown_end_under.exe", main_program,
                 L"spawn bypath \"" + main_program + L"\" \"" + result + L"\"", false);
  ASSERT_TRUE(parent.started());
  EXPECT_EQ(107, parent.ExitCode(60000));
  EXPECT_EQ("1 0", ReadText(result));
}

TEST(ProductShutdown, WindowClassesFromTheCommandLine) {
  EXPECT_EQ((std::vector<std::wstring>{L"PelorixMainWndClassName", L"QuentaUIWndClass"}),
            WindowClassesToClose(false));
  EXPECT_TRUE(WindowClassesToClose(true).empty());
}

TEST(ProductShutdown, BroadcastReachesWindowsOfOtherProcesses) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  const std::wstring record = root.Child(L"record.txt");
  auto listener = FakeProduct(root.Child(L"listener.exe"), L"PelorixShutdownTestListener", record);
  ASSERT_TRUE(listener->started());
  ASSERT_TRUE(PostUninstallBroadcast());
  EXPECT_TRUE(WaitForRecord(record, "broadcast")) << ReadText(record).c_str();
  EXPECT_TRUE(listener->Running());  // a broadcast asks nothing of it
}

TEST(ProductShutdown, ClosesProductWindowsThenEndsWhatRunsFromTheDirectory) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  const std::wstring install_dir = root.Child(L"Install");
  const std::wstring product_record = root.Child(L"product.txt");
  const std::wstring sibling_record = root.Child(L"sibling.txt");
  // The windows' programs live elsewhere: only WM_CLOSE can end them.
  auto product = FakeProduct(root.Child(L"elsewhere\\product.exe"), kProductWindowClass, product_record);
  auto sibling = FakeProduct(root.Child(L"elsewhere\\sibling.exe"), kSiblingWindowClass, sibling_record);
  auto worker = Sleeper(install_dir + L"\\Nexhub\\pelorix\\worker.exe");
  auto main_program = Sleeper(MainProgramPath(install_dir));
  auto outsider = Sleeper(root.Child(L"elsewhere\\outsider.exe"));
  for (auto* h : {product.get(), sibling.get(), worker.get(), main_program.get(), outsider.get()}) {
    ASSERT_TRUE(h->started());
  }

  CloseRunningProduct(WindowClassesToClose(false), install_dir);
  EXPECT_EQ(0, product->ExitCode());
  EXPECT_EQ(0, sibling->ExitCode());
  // The broadcast is posted and WM_CLOSE sent: a window may close before its
  // queue gets to the broadcast, so only the close is certain here.
  EXPECT_TRUE(WaitForRecord(product_record, "close")) << ReadText(product_record).c_str();
  EXPECT_TRUE(WaitForRecord(sibling_record, "close")) << ReadText(sibling_record).c_str();
  EXPECT_EQ(0, worker->ExitCode());
  EXPECT_EQ(0, main_program->ExitCode());
  EXPECT_TRUE(outsider->Running());
}

// A product that answers WM_CLOSE but stays is ended with the rest.
TEST(ProductShutdown, ProductThatStaysIsEnded) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  const std::wstring install_dir = root.Child(L"Install");
  const std::wstring record = root.Child(L"product.txt");
  auto product = FakeProduct(MainProgramPath(install_dir), kProductWindowClass, record, true);
  ASSERT_TRUE(product->started());

  CloseRunningProduct(WindowClassesToClose(false), install_dir);
  EXPECT_TRUE(WaitForRecord(record, "close")) << ReadText(record).c_str();
  EXPECT_EQ(0, product->ExitCode());
}

TEST(ProductShutdown, NoCloseWndClosesNoWindowButStillEndsProcesses) {
  ScopedTempDir root;
  ASSERT_TRUE(root.IsValid());
  const std::wstring install_dir = root.Child(L"Install");
  const std::wstring record = root.Child(L"product.txt");
  auto product = FakeProduct(root.Child(L"elsewhere\\product.exe"), kProductWindowClass, record);
  auto worker = Sleeper(install_dir + L"\\worker.exe");
  ASSERT_TRUE(product->started());
  ASSERT_TRUE(worker->started());

  CloseRunningProduct(WindowClassesToClose(true), install_dir);
  EXPECT_EQ(0, worker->ExitCode());
  // The broadcast was posted before any window would have been closed.
  EXPECT_TRUE(WaitForRecord(record, "broadcast")) << ReadText(record).c_str();
  EXPECT_EQ(std::string::npos, ReadText(record).find("close"));
  EXPECT_TRUE(product->Running());
}

}  // namespace
}  // namespace engine
