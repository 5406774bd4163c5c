// Complete silent installs of the real package: the product tree in place,
// the product registered with Windows, autorun, statistics, and the product
// started at the end; a second install over the running product.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "package/pending_test_util.h"
#include "tests/e2e/e2e_util.h"
#include "tests/e2e/package_run.h"
#include "tests/e2e/unix_side.h"

namespace {

using e2e::HasAction;
using e2e::Quote;

constexpr wchar_t kInstallDir[] = L"C:\\PelorixE2E";
using e2e::kProductKey;
using e2e::kUninstallKey;

using e2e::Widen;

using e2e::Folder;
using e2e::ListFiles;
using e2e::ReadAll;
using e2e::ReadRegString;

// What the sample product writes into the common application data folder.
std::string SampleLog(const wchar_t* name) {
  return ReadAll(Folder(CSIDL_COMMON_APPDATA) + L"\\PelorixSample\\" + name);
}

// The sample log once it holds `needle`: the product writes it after the
// setup has started it, maybe after the setup is gone.
std::string WaitForSampleLog(const wchar_t* name, const std::string& needle) {
  std::string text;
  for (int i = 0; i < 100; ++i, Sleep(100)) {
    text = SampleLog(name);
    if (text.find(needle) != std::string::npos) break;
  }
  return text;
}

struct Install {
  std::string pid = e2e::UniquePid("inst");
  e2e::RunResult result;
  DWORD ms = 0;
  std::vector<std::string> requests;
};

Install RunSilent(const std::wstring& extra) {
  Install run;
  e2e::BoxWatcher boxes(IDOK);
  const DWORD start = GetTickCount();
  run.result = e2e::Run(Quote(e2e::PackagePath()) + L" --hide_ui /DIR=" + kInstallDir + L" --pid=" + Widen(run.pid) +
                            L" " + extra,
                        240000, [&](DWORD pid) { boxes.Watch(pid); });
  run.ms = GetTickCount() - start;
  boxes.Stop();
  EXPECT_TRUE(boxes.texts().empty()) << "a silent install shows no message box";
  run.requests = e2e::StatRequests(STAT_TEST_WWW, run.pid);
  printf("silent install: %lu ms\n", run.ms);
  return run;
}

// The actions reported, in order.
std::vector<std::string> Actions(const std::vector<std::string>& requests) {
  std::vector<std::string> actions;
  std::regex action("action=([a-z_0-9]+)&");
  for (const auto& r : requests) {
    std::smatch m;
    if (std::regex_search(r, m, action)) actions.push_back(m[1]);
  }
  return actions;
}

void ExpectTreeInstalled() {
  std::vector<std::wstring> files;
  ListFiles(PRODUCT_TREE, L"", &files);
  ASSERT_EQ(files.size(), 100u) << "the sample product has 100 files";
  for (const auto& f : files) {
    const std::wstring installed = std::wstring(kInstallDir) + L"\\" + f;
    if (f == L"updatecfg.ini") continue;  // its paths are rewritten
    EXPECT_TRUE(ReadAll(installed) == ReadAll(std::wstring(PRODUCT_TREE) + L"\\" + f)) << "differs: " << f.c_str();
  }
  EXPECT_TRUE(e2e::FileExists(std::wstring(kInstallDir) + L"\\Utils\\7z.dll"));
  // Every updater path is rooted at the chosen directory, not the default one.
  const std::wstring config = std::wstring(kInstallDir) + L"\\updatecfg.ini";
  const std::pair<const wchar_t*, std::wstring> kPaths[] = {
      {L"main", kInstallDir},
      {L"pelorix_ui", std::wstring(kInstallDir) + L"\\Nexhub\\pelorix"},
      {L"lumbrel", std::wstring(kInstallDir) + L"\\Utils"},
      {L"plugins", std::wstring(kInstallDir) + L"\\Plugin"},
      {L"themes", std::wstring(kInstallDir) + L"\\Themes"}};
  for (const auto& p : kPaths) {
    wchar_t value[MAX_PATH] = {};
    GetPrivateProfileStringW(p.first, L"path", L"", value, MAX_PATH, config.c_str());
    EXPECT_EQ(std::wstring(value), p.second) << p.first;
  }
}

TEST(SilentInstall, PlacesRegistersReportsAndStartsTheProduct) {
  const std::vector<std::wstring> staging_before = e2e::StagingDirs();
  Install run = RunSilent(L"");
  ASSERT_TRUE(run.result.finished);
  EXPECT_EQ(run.result.exit_code, 0u);
  ExpectTreeInstalled();
  EXPECT_EQ(e2e::StagingDirs(), staging_before);

  const std::wstring program = std::wstring(kInstallDir) + L"\\Nexhub\\pelorix\\pelorix_ui.exe";
  EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, L"Setup Path"), kInstallDir);
  EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, nullptr), program);
  EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, L"pid"), Widen(run.pid));
  EXPECT_TRUE(std::regex_match(ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, L"InstallDate"),
                               std::wregex(L"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")));
  for (const wchar_t* value :
       {L"DisplayIcon", L"DisplayName", L"DisplayVersion", L"InstallLocation", L"Publisher", L"UninstallString"}) {
    EXPECT_NE(ReadRegString(HKEY_LOCAL_MACHINE, kUninstallKey, value), L"<missing>") << value;
  }
  if (GetEnvironmentVariableW(L"PELORIX_EXPECT_WOW64", nullptr, 0)) {
    // The setup writes without a view flag: a 32-bit one (the deliverable)
    // the 32-bit view, a 64-bit one the 64-bit view; never the other.
    const REGSAM other_view = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    EXPECT_EQ(ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, L"Setup Path", other_view), L"<missing>")
        << "the setup writes only its own view";
  }
  // Wine's Task Scheduler cannot make a log-on trigger: the Run value stands in.
  EXPECT_NE(ReadRegString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"Pelorix")
                .find(program),
            std::wstring::npos);
  EXPECT_TRUE(e2e::FileExists(Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Pelorix.lnk"));
  EXPECT_TRUE(e2e::FileExists(Folder(CSIDL_COMMON_PROGRAMS) + L"\\Pelorix\\Pelorix.lnk"));
  EXPECT_TRUE(e2e::FileExists(Folder(CSIDL_COMMON_PROGRAMS) + L"\\Pelorix\\\u5378\u8F7DPelorix.lnk"));

  // Asynchronous reports may overtake each other; all are in before the exit.
  std::vector<std::string> actions = Actions(run.requests);
  std::sort(actions.begin(), actions.end());
  EXPECT_EQ(actions, (std::vector<std::string>{"end", "install_success", "schedule", "shortcuts", "start"}));
  EXPECT_NE(SampleLog(L"lumbrel.log").find("3.3497.1841.0"), std::string::npos);
  const std::string launches = WaitForSampleLog(L"launches.log", "--from=setup");
  EXPECT_NE(launches.find("pelorix_ui.exe\" --from=setup"), std::string::npos) << launches;
  EXPECT_EQ(launches.find("--from=setup "), std::string::npos) << "no --mainapp value without run";
}

TEST(SilentInstall, ReinstallOverTheRunningProductReplacesItAndKeepsChoices) {
  if (sizeof(void*) == 8) GTEST_SKIP() << e2e::kNeeds32BitView;
  Install first = RunSilent(L"");
  ASSERT_TRUE(first.result.finished);
  // The first install started the product; it holds its program open.
  HANDLE product_process = e2e::OpenRunningProduct();
  ASSERT_NE(product_process, nullptr) << "the product was started";
  const std::wstring first_date = ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, L"InstallDate");
  Sleep(1100);

  Install second = RunSilent(L"--nostart --run --mainapp=--silent");
  ASSERT_TRUE(second.result.finished);
  EXPECT_EQ(second.result.exit_code, 0u);
  EXPECT_EQ(WaitForSingleObject(product_process, 5000), static_cast<DWORD>(WAIT_OBJECT_0))
      << "the running product was closed";
  CloseHandle(product_process);
  ExpectTreeInstalled();
  EXPECT_NE(ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, L"InstallDate"), first_date);
  EXPECT_TRUE(HasAction(second.requests, "install_success"));
  // Every event says whether an earlier install was found at start.
  for (const auto& r : first.requests) EXPECT_NE(r.find("ex_ary[new_user]=1&"), std::string::npos) << r;
  for (const auto& r : second.requests) EXPECT_NE(r.find("ex_ary[new_user]=0&"), std::string::npos) << r;
  Sleep(1500);
  const std::string launches = SampleLog(L"launches.log");
  EXPECT_EQ(launches.find("--silent"), std::string::npos) << "nostart: nothing was started";
}

TEST(SilentInstall, RunWithMainAppPassesItsValue) {
  Install run = RunSilent(L"--run --mainapp=--tab=home");
  ASSERT_TRUE(run.result.finished);
  const std::string launches = WaitForSampleLog(L"launches.log", "--tab=home");
  EXPECT_NE(launches.find("--from=setup --tab=home"), std::string::npos) << launches;
}

}  // namespace

namespace {

// Another program of the maker's runs the packaged setup through its export:
// the whole install happens inside the host, and the result word says so.
TEST(StartExport, HostedSilentInstallWritesSuc) {
  const std::string pid = e2e::UniquePid("host");
  e2e::RunResult r = e2e::Run(Quote(e2e::BuiltFile(L"start_host.exe")) + L" " + Quote(e2e::PackagePath()) + L" " +
                                  Quote(L"--hide_ui --nostart /DIR=" + std::wstring(kInstallDir) + L" --pid=" +
                                        Widen(pid)) +
                                  L" 16",
                              240000);
  ASSERT_TRUE(r.finished);
  EXPECT_NE(r.output.find("result=suc"), std::string::npos) << r.output;
  ExpectTreeInstalled();
  EXPECT_TRUE(HasAction(e2e::StatRequests(STAT_TEST_WWW, pid), "install_success"));
}

// A host keeps its apartment and its DLL search path through a hosted run.
TEST(StartExport, LeavesTheHostAsItFoundIt) {
  e2e::RunResult r = e2e::Run(Quote(e2e::BuiltFile(L"start_host.exe")) + L" " + Quote(e2e::PackagePath()) + L" " +
                                  Quote(L"--hide_ui --nostart /DIR=" + std::wstring(kInstallDir) + L" --pid=" +
                                        Widen(e2e::UniquePid("hosthyg"))) +
                                  L" 16 hygiene",
                              240000);
  ASSERT_TRUE(r.finished);
  EXPECT_NE(r.output.find("result=suc"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("com=00000001 dlldir=C:\\windows own=1"), std::string::npos) << r.output;
}

// A plain file where the install needs the folder "Utils\engine": that
// folder's file cannot be placed, so the install is not usable. Start says
// "fail" and nothing is started.
TEST(StartExport, FilesNotAllInPlaceWriteFailAndStartNothing) {
  // A directory with foreign entries gets the product folder appended.
  const std::wstring installed = std::wstring(kInstallDir) + L"\\Pelorix";
  const std::wstring blocker = installed + L"\\Utils\\engine";
  for (const std::wstring& dir : {std::wstring(kInstallDir), installed, installed + L"\\Utils"}) {
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  HANDLE h = CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  CloseHandle(h);

  const std::string pid = e2e::UniquePid("hostcopy");
  e2e::RunResult r = e2e::Run(Quote(e2e::BuiltFile(L"start_host.exe")) + L" " + Quote(e2e::PackagePath()) + L" " +
                                  Quote(L"--hide_ui /DIR=" + std::wstring(kInstallDir) + L" --pid=" + Widen(pid) +
                                        L" --run --mainapp=--tab=copyfail") +
                                  L" 16",
                              240000);
  DeleteFileW(blocker.c_str());
  ASSERT_TRUE(r.finished);
  EXPECT_NE(r.output.find("result=fail"), std::string::npos) << r.output;
  const std::vector<std::string> requests = e2e::StatRequests(STAT_TEST_WWW, pid);
  EXPECT_TRUE(HasAction(requests, "fail", "&ex_ary[errcode]=9"));
  EXPECT_FALSE(HasAction(requests, "install_success"));
  EXPECT_TRUE(e2e::FileExists(installed + L"\\Nexhub\\pelorix\\pelorix_ui.exe"));
  Sleep(1500);
  EXPECT_EQ(SampleLog(L"launches.log").find("--tab=copyfail"), std::string::npos) << "nothing was started";
}

// A drive that fills up while the setup works: a small file system mounted
// under C: where the setup writes (below the staging folder's parent, or as
// the install directory), while C:'s root still reports the host's room, so
// every check before the work passes. The run fails as a failed copy does,
// leaves no product file truncated under its own name and no staging folder,
// and the next run, with room again, completes.
TEST(SilentInstall, DriveFullDuringStagingOrPlacementFailsCleanlyAndTheNextRunCompletes) {
  const struct {
    const char* what;
    const wchar_t* mount;    // made under the prefix's drive_c
    const wchar_t* unmount;
  } cases[] = {
      {"staging",
       L"set -e; d=$WINEPREFIX/drive_c; m=$WINEPREFIX/full-fs; mkdir -p $m; mount -t tmpfs -o size=8m tmpfs $m;"
       L" mkdir $m/u $m/w; mount -t overlay overlay -o lowerdir=$d/ProgramData,upperdir=$m/u,workdir=$m/w"
       L" $d/ProgramData",
       L"umount -l $WINEPREFIX/drive_c/ProgramData; umount -l $WINEPREFIX/full-fs; rmdir $WINEPREFIX/full-fs"},
      {"placement",
       L"set -e; m=$WINEPREFIX/drive_c/PelorixE2E; mkdir -p $m; mount -t tmpfs -o size=8m tmpfs $m",
       L"umount -l $WINEPREFIX/drive_c/PelorixE2E"},
  };
  std::vector<std::wstring> tree;
  ListFiles(PRODUCT_TREE, L"", &tree);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Each case starts without the files an earlier one placed.
    ASSERT_TRUE(e2e::Sh(L"rm -rf $WINEPREFIX/drive_c/PelorixE2E"));
    {
      e2e::UndoOnExit undo(c.unmount);
      ASSERT_TRUE(e2e::Sh(c.mount)) << "mounting needs root";
      const Install full = RunSilent(L"--nostart");
      ASSERT_TRUE(full.result.finished);
      EXPECT_TRUE(HasAction(full.requests, "fail", "&ex_ary[errcode]=9"));
      EXPECT_FALSE(HasAction(full.requests, "install_success"));
      EXPECT_TRUE(e2e::StagingDirs().empty());
      size_t placed = 0;
      for (const auto& f : tree) {
        const std::wstring installed = std::wstring(kInstallDir) + L"\\" + f;
        if (f == L"updatecfg.ini" || !e2e::FileExists(installed)) continue;
        ++placed;
        EXPECT_TRUE(ReadAll(installed) == ReadAll(std::wstring(PRODUCT_TREE) + L"\\" + f)) << "truncated: " << f.c_str();
      }
      printf("%s: %zu of %zu files in place when the drive was full\n", c.what, placed, tree.size());
    }
    const Install again = RunSilent(L"--nostart");
    ASSERT_TRUE(again.result.finished);
    EXPECT_TRUE(HasAction(again.requests, "install_success"));
    ExpectTreeInstalled();
  }
}

// A file of the product held open without delete sharing while the setup
// runs again, then a restart: tests/e2e/restart_e2e.sh runs the two phases
// below in one prefix, ends every process and restarts the prefix with
// wineboot -r between them.
constexpr wchar_t kHeldFile[] = L"Utils\\engine\\engine.bin";
// Another program's entry: delete a file of its own at the restart.
constexpr wchar_t kOtherEntry[] = L"\\??\\C:\\OtherProgram\\leftover.tmp";

TEST(RestartPhase, DISABLED_InstallOverAHeldFileLeavesItToTheRestart) {
  ASSERT_TRUE(CreateDirectoryW(L"C:\\OtherProgram", nullptr));
  std::ofstream(L"C:\\OtherProgram\\leftover.tmp") << "junk";
  // The other program's pair (delete: an empty target), as it wrote it.
  const std::wstring other = std::wstring(kOtherEntry) + L'\0' + L'\0';
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, pending_test::kSessionManager, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  RegSetValueExW(key, pending_test::kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(other.c_str()),
                 static_cast<DWORD>((other.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);

  ASSERT_TRUE(HasAction(RunSilent(L"--nostart").requests, "install_success"));
  // An older edition's file, held open by the running product.
  const std::wstring held = std::wstring(kInstallDir) + L"\\" + kHeldFile;
  std::ofstream(held.c_str(), std::ios::binary | std::ios::trunc) << "older edition";
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"PelorixRestartReady");
  // Never set: the holder lets go when the restart ends it.
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, L"PelorixRestartRelease");
  ASSERT_NE(release, nullptr);
  DWORD holder_pid = 0;
  HANDLE holder = e2e::Launch(Quote(e2e::BuiltFile(L"file_holder.exe")) + L" " + Quote(held) +
                                  L" r PelorixRestartReady PelorixRestartRelease",
                              &holder_pid);
  ASSERT_NE(holder, nullptr);
  ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);

  ASSERT_TRUE(HasAction(RunSilent(L"--nostart").requests, "install_success"));
  EXPECT_EQ(ReadAll(held), "older edition") << "held open: replaced only at the restart";
  const std::wstring pending = e2e::PendingRenames();
  const std::wstring other_shown = std::wstring(kOtherEntry) + L"||";  // terminators shown as "|"
  EXPECT_EQ(pending.compare(0, other_shown.size(), other_shown), 0) << "the other program's entry comes first, unchanged";
  EXPECT_NE(pending.find(L"|!\\??\\" + held + L"|"), std::wstring::npos) << "the new file waits for the restart";
  // The holder goes with the restart, as the product would.
  CloseHandle(holder);
}

TEST(RestartPhase, DISABLED_AfterTheRestartTheTreeIsWhole) {
  ExpectTreeInstalled();
  const std::wstring pending = e2e::PendingRenames();
  EXPECT_EQ(pending.find(kInstallDir), std::wstring::npos) << "nothing of the install waits any more";
  EXPECT_FALSE(e2e::FileExists(L"C:\\OtherProgram\\leftover.tmp")) << "the other program's entry was carried out";
}

struct VisibleWindowSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<VisibleWindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->pid || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

// Without --hide_ui a host gets the wizard on screen, not a hidden one that
// nobody can answer.
TEST(StartExport, HostedInstallWithoutHideUiShowsTheWizard) {
  bool shown = false;
  e2e::RunResult r = e2e::Run(
      Quote(e2e::BuiltFile(L"start_host.exe")) + L" " + Quote(e2e::PackagePath()) + L" " +
          Quote(L"--nostart /DIR=" + std::wstring(kInstallDir) + L" --pid=" + Widen(e2e::UniquePid("hostui"))) +
          L" 16",
      60000, [&](DWORD pid) {
        VisibleWindowSearch search = {pid, nullptr};
        for (int i = 0; i < 300 && !search.found; ++i, Sleep(100)) EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        shown = search.found != nullptr;
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
        if (process) {
          TerminateProcess(process, 1);
          CloseHandle(process);
        }
      });
  EXPECT_TRUE(shown) << r.output;
}

}  // namespace
