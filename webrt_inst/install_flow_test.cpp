// Whole install runs in a fresh prefix each, against the loopback HTTP server
// (tests/support/loopback_http_server.py) and variants of the fake installer
// (tests/webrt/fake_webview2_setup.cpp) that each test publishes for itself:
// signed at build time, unsigned, or altered after signing.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/md5.h"
#include "base/registry.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "webrt_inst/download_catalog.h"
#include "webrt_inst/installed_version.h"
#include "webrt_inst/installer_runner.h"
#include "webrt_inst/palinst.h"
#include "webrt_inst/tray_client.h"
#include "webrt_inst/verified_installer.h"

namespace webrt {
namespace {

constexpr wchar_t kBootstrapperParams[] = L" /silent /install ";
constexpr wchar_t kCdnParams[] =
    L" --msedgewebview --verbose-logging --do-not-launch-msedge --user-level ";

std::string ReadFileBytes(const std::wstring& path) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  char chunk[65536];
  DWORD read = 0;
  while (file.IsValid() && ReadFile(file.Get(), chunk, sizeof(chunk), &read, nullptr) && read) {
    bytes.append(chunk, read);
  }
  return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1)) {
    CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
  base::ScopedHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file.IsValid() &&
         WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::wstring TempDir() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  return temp;
}

std::wstring ExeDir() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  return std::wstring(exe, wcsrchr(exe, L'\\') + 1);
}

// How a published installer is made from the fake one.
enum class Make { kSigned, kUnsigned, kAltered };

// The fake installer with its behaviour trailer: signed at build time (see
// sign_fake_setups.sh), unsigned, or signed and then changed in one byte.
std::string FakeInstaller(const std::string& behaviour, Make make) {
  if (make == Make::kUnsigned) {
    return ReadFileBytes(ExeDir() + L"fake_webview2_setup.exe") + "#FAKE-WEBVIEW2-SETUP#" +
           behaviour;
  }
  std::string bytes =
      ReadFileBytes(ExeDir() + L"signed_fake_setups\\" +
                    base::Utf8ToWide(base::Md5Hex(behaviour.data(), behaviour.size())) + L".exe");
  // A letter of the DOS stub's message: covered by the signature, but the
  // program still runs if anything starts it.
  const size_t stub = bytes.find("This program");
  if (make == Make::kAltered && stub != std::string::npos) bytes[stub] = 't';
  return bytes;
}

class InstallFlowTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateStopEvent());
    // Unique per run (process ids repeat across fresh prefixes), so a rerun
    // never sees an earlier run's files or requests.
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    wchar_t stamp[32];
    swprintf(stamp, 32, L"t%08lx%08lx_", now.dwHighDateTime, now.dwLowDateTime);
    site_ = stamp +
            base::Utf8ToWide(testing::UnitTest::GetInstance()->current_test_info()->name());
    ASSERT_FALSE(FakeInstaller("", Make::kSigned).empty()) << "no signed fake installers";
    DeleteFileW(FakeLogPath().c_str());
  }

  void TearDown() override { DeleteFileW((TrayClient::LogPath() + L".on").c_str()); }

  // Publishes a fake installer variant at `name` under this test's site and
  // returns its MD5.
  std::wstring Publish(const std::wstring& name, const std::string& behaviour,
                       Make make = Make::kSigned) {
    const std::string bytes = FakeInstaller(behaviour, make);
    EXPECT_FALSE(bytes.empty()) << "not signed at build time: " << behaviour;
    EXPECT_TRUE(WriteFileBytes(std::wstring(WEBRT_TEST_WWW) + L"\\" + site_ + L"\\" + name, bytes));
    return base::Utf8ToWide(base::Md5Hex(bytes.data(), bytes.size()));
  }

  // A URL on a loopback port nobody listens on: the connection is refused.
  // (An HTTP error status is no failure to Wine's URL Moniker.)
  std::wstring RefusedUrl(const std::wstring& name) const {
    return L"http://127.0.0.1:" + std::to_wstring(WEBRT_TEST_PORT + 1) + L"/" + site_ + L"/" + name;
  }

  // URL of `name` on this test's site, behind an optional server behaviour
  // ("stall/3000", "status/500", ...).
  std::wstring Url(const std::wstring& name, const std::wstring& behaviour = L"") const {
    return L"http://127.0.0.1:" + std::to_wstring(WEBRT_TEST_PORT) + L"/" +
           (behaviour.empty() ? L"" : behaviour + L"/") + site_ + L"/" + name;
  }

  FlowConfig Config(const std::wstring& bootstrapper, const std::wstring& cdn,
                    const std::wstring& cdn_md5) {
    FlowConfig config;
    config.bootstrapper_url = bootstrapper;
    config.bootstrapper_timeout_ms = 20000;
    config.cdn_timeout_ms = 20000;
    config.select_cdn = [cdn, cdn_md5](std::wstring* md5) {
      *md5 = cdn_md5;
      return cdn;
    };
    return config;
  }

  // Paths the server was asked for on this test's site.
  std::vector<std::string> Requests() const {
    std::vector<std::string> mine;
    const std::string needle = "/" + base::WideToUtf8(site_) + "/";
    for (const std::string& line :
         Lines(ReadFileBytes(std::wstring(WEBRT_TEST_WWW) + L"\\requests.log"))) {
      if (line.find(needle) != std::string::npos) mine.push_back(line);
    }
    return mine;
  }

  static std::wstring FakeLogPath() { return TempDir() + L"fake_webview2_setup.log"; }
  // "installer args=...", "installer done", "child args=...", ...
  static std::vector<std::string> InstallerRecord() { return Lines(ReadFileBytes(FakeLogPath())); }

  static std::string InstallerArgsLine(const wchar_t* params) {
    return "installer args=" + base::WideToUtf8(params);
  }

  // Download folders ("{guid}.tmp") in the temp folder.
  static std::vector<std::wstring> DownloadFilesLeft() {
    std::vector<std::wstring> left;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((TempDir() + L"{*}.tmp").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return left;
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) left.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return left;
  }

  static void EnableLog() {
    ASSERT_TRUE(WriteFileBytes(TrayClient::LogPath() + L".on", ""));
  }
  static std::string LogText() { return ReadFileBytes(TrayClient::LogPath()); }

  static void SetMachinePv(const std::wstring& value) {
    ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kRuntimeClientKey, L"pv", value, true,
                                     KEY_WOW64_32KEY));
  }

  // Calls StopInst's implementation from another thread once `ready` holds;
  // `stopped_at` receives the tick of the call.
  template <class Ready>
  std::thread StopWhen(Ready ready, std::atomic<DWORD>* stopped_at = nullptr) {
    return std::thread([ready, stopped_at] {
      for (int i = 0; i < 600 && !ready(); ++i) Sleep(50);
      if (stopped_at) *stopped_at = GetTickCount();
      SignalStop();
    });
  }

  std::wstring site_;
};

TEST_F(InstallFlowTest, RuntimePresentDownloadsNothing) {
  SetMachinePv(L"120.0.0.1");
  EnableLog();
  EXPECT_EQ(0, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), L"")));
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(InstallerRecord().empty());
  EXPECT_NE(std::string::npos, LogText().find("find webview2 no need download!"));
  EXPECT_NE(std::string::npos, LogText().find("SendStat:exist, ex=&ex_ary[PEversion]=120.0.0.1"));
}

TEST_F(InstallFlowTest, BootstrapperThatInstalls) {
  Publish(L"boot.exe", "pv=121.0.0.1");
  EXPECT_EQ(0, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), L"")));
  EXPECT_EQ(L"121.0.0.1", GetInstalledVersion());
  ASSERT_EQ(1u, Requests().size());
  EXPECT_NE(std::string::npos, Requests()[0].find("/boot.exe"));
  EXPECT_EQ((std::vector<std::string>{InstallerArgsLine(kBootstrapperParams), "installer done"}),
            InstallerRecord());
  EXPECT_TRUE(DownloadFilesLeft().empty());
}

TEST_F(InstallFlowTest, FailedBootstrapperDownloadFallsBackOnceToTheCdn) {
  EnableLog();
  const std::wstring md5 = Publish(L"cdn.exe", "pv=109.0.0.2;scope=user");
  EXPECT_EQ(0, RunInstWebView2(Config(RefusedUrl(L"boot.exe"), Url(L"cdn.exe"), md5)));
  EXPECT_EQ(L"109.0.0.2", GetInstalledVersion());
  const auto requests = Requests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_NE(std::string::npos, requests[0].find("/cdn.exe"));
  EXPECT_EQ((std::vector<std::string>{InstallerArgsLine(kCdnParams), "installer done"}),
            InstallerRecord());
  EXPECT_TRUE(DownloadFilesLeft().empty());
  const std::string log = LogText();
  EXPECT_NE(std::string::npos,
            log.find("MainWindow::OnWebView2RuntimeDownloadEnd() download fail, id=0"));
  EXPECT_NE(std::string::npos, log.find("dow_start:dow_fail, ex=&ex_ary[method]=0&ex_ary[time]="));
  EXPECT_NE(std::string::npos, log.find("download webview2 by cdn url."));
  EXPECT_NE(std::string::npos, log.find("dow_start:exist, ex=&ex_ary[method]=1"));
}

TEST_F(InstallFlowTest, BootstrapperErrorPageIsNeverShownAndFallsBackToTheCdn) {
  // Wine's URL Moniker saves the error page as the "download"; starting it
  // must fail without a message box that would block the silent run.
  const std::wstring md5 = Publish(L"cdn.exe", "pv=109.0.0.2;scope=user");
  EXPECT_EQ(0, RunInstWebView2(Config(Url(L"boot.exe", L"status/404"), Url(L"cdn.exe"), md5)));
  EXPECT_EQ(2u, Requests().size());
  EXPECT_EQ((std::vector<std::string>{InstallerArgsLine(kCdnParams), "installer done"}),
            InstallerRecord());
  EXPECT_TRUE(DownloadFilesLeft().empty());
}

TEST_F(InstallFlowTest, BootstrapperThatInstallsNothingTriggersExactlyOneCdnAttempt) {
  Publish(L"boot.exe", "");
  const std::wstring md5 = Publish(L"cdn.exe", "");
  EXPECT_EQ(-2, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), md5)));
  EXPECT_EQ(2u, Requests().size());
  EXPECT_EQ((std::vector<std::string>{InstallerArgsLine(kBootstrapperParams), "installer done",
                                      InstallerArgsLine(kCdnParams), "installer done"}),
            InstallerRecord());
  EXPECT_TRUE(DownloadFilesLeft().empty());
}

TEST_F(InstallFlowTest, WrongCdnMd5IsNotInstalled) {
  EnableLog();
  Publish(L"cdn.exe", "pv=109.0.0.2");
  EXPECT_EQ(-2, RunInstWebView2(Config(RefusedUrl(L"boot.exe"), Url(L"cdn.exe"),
                                       L"0123456789abcdef0123456789abcdef")));
  EXPECT_EQ(L"", GetInstalledVersion());
  EXPECT_TRUE(InstallerRecord().empty());
  EXPECT_EQ(1u, Requests().size());
  EXPECT_TRUE(DownloadFilesLeft().empty());
  EXPECT_NE(std::string::npos, LogText().find("download webview2 all faild. close window."));
}

TEST_F(InstallFlowTest, FileLeftAtThePredictableOldPathIsNeverStarted) {
  // The complete, expected file where earlier versions kept their download:
  // it is downloaded afresh into the run's own folder instead.
  const std::wstring md5 = Publish(L"cdn.exe", "pv=109.0.0.2;scope=user");
  const std::string url = base::WideToUtf8(Url(L"cdn.exe"));
  const std::wstring old_path =
      TempDir() + base::Utf8ToWide(base::Md5Hex(url.data(), url.size())) + L".exe";
  ASSERT_TRUE(WriteFileBytes(old_path, FakeInstaller("pv=109.0.0.2;scope=user", Make::kSigned)));
  EXPECT_EQ(0, RunInstWebView2(Config(RefusedUrl(L"boot.exe"), Url(L"cdn.exe"), md5)));
  EXPECT_EQ(1u, Requests().size());
  EXPECT_TRUE(DownloadFilesLeft().empty());
}

TEST_F(InstallFlowTest, OnlyValidlySignedInstallersAreStarted) {
  const struct {
    const char* name;
    Make boot;
    Make cdn;
    int result;
    std::vector<std::string> record;
  } cases[] = {
      {"unsigned", Make::kUnsigned, Make::kUnsigned, -2, {}},
      {"altered", Make::kAltered, Make::kAltered, -2, {}},
      {"unsigned bootstrapper, signed CDN copy", Make::kUnsigned, Make::kSigned, 0,
       {InstallerArgsLine(kCdnParams), "installer done"}},
  };
  const std::wstring site = site_;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    site_ = site + base::Utf8ToWide(std::to_string(&c - cases));
    DeleteFileW(FakeLogPath().c_str());
    Publish(L"boot.exe", "pv=121.0.0.1", c.boot);
    const std::wstring md5 = Publish(L"cdn.exe", "pv=109.0.0.2;scope=user", c.cdn);
    EXPECT_EQ(c.result, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), md5)));
    EXPECT_EQ(2u, Requests().size());
    EXPECT_EQ(c.record, InstallerRecord());
    EXPECT_TRUE(DownloadFilesLeft().empty());
  }
}

TEST_F(InstallFlowTest, HeldInstallerIsCheckedAndCannotBeChangedUntilReleased) {
  const std::wstring path = TempDir() + site_ + L".exe";
  const std::string signed_bytes = FakeInstaller("pv=121.0.0.1", Make::kSigned);
  const std::wstring md5 = base::Utf8ToWide(base::Md5Hex(signed_bytes.data(), signed_bytes.size()));
  const struct {
    Make make;
    std::wstring md5;
    InstallerCheck check;
  } cases[] = {
      {Make::kSigned, md5, InstallerCheck::kPassed},
      {Make::kSigned, L"", InstallerCheck::kPassed},
      {Make::kSigned, L"0123456789abcdef0123456789abcdef", InstallerCheck::kMd5Mismatch},
      {Make::kUnsigned, L"", InstallerCheck::kUntrusted},
      {Make::kAltered, L"", InstallerCheck::kUntrusted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    ASSERT_TRUE(WriteFileBytes(path, FakeInstaller("pv=121.0.0.1", c.make)));
    std::unique_ptr<VerifiedInstaller> installer;
    EXPECT_EQ(c.check, VerifiedInstaller::Open(path, c.md5, &installer));
    EXPECT_EQ(c.check == InstallerCheck::kPassed, installer != nullptr);
    if (!installer) continue;
    base::ScopedHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer.IsValid());
    EXPECT_FALSE(MoveFileW(path.c_str(), (path + L".moved").c_str()));
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    installer.reset();
  }
  // Missing, or with a second name through which it could be reached.
  std::unique_ptr<VerifiedInstaller> refused;
  EXPECT_EQ(InstallerCheck::kUnreadable, VerifiedInstaller::Open(path + L".missing", L"", &refused));
  ASSERT_TRUE(WriteFileBytes(path, signed_bytes));
  ASSERT_TRUE(CreateHardLinkW((path + L".link").c_str(), path.c_str(), nullptr));
  EXPECT_EQ(InstallerCheck::kUnreadable, VerifiedInstaller::Open(path, L"", &refused));
  EXPECT_TRUE(DeleteFileW((path + L".link").c_str()));
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

TEST_F(InstallFlowTest, NoInstallerStartsOnceAStopWasRequested) {
  const std::wstring path = TempDir() + site_ + L".exe";
  ASSERT_TRUE(WriteFileBytes(path, FakeInstaller("pv=121.0.0.1", Make::kSigned)));
  std::unique_ptr<VerifiedInstaller> installer;
  ASSERT_EQ(InstallerCheck::kPassed, VerifiedInstaller::Open(path, L"", &installer));
  SignalStop();
  EXPECT_FALSE(RunInstaller(installer.get(), kBootstrapperParams, StopEvent()));
  EXPECT_TRUE(InstallerRecord().empty());
}

TEST_F(InstallFlowTest, InstallerIsWaitedForTogetherWithItsChild) {
  // The installer itself exits at once; only its child registers, later.
  Publish(L"boot.exe", "pv=121.0.0.9;child=1500");
  EXPECT_EQ(0, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), L"")));
  EXPECT_EQ(1u, Requests().size());
  const auto record = InstallerRecord();
  ASSERT_EQ(4u, record.size());
  EXPECT_EQ("child done", record.back());
}

TEST_F(InstallFlowTest, NoCdnInstallerForThisWindowsEndsTheRun) {
  EnableLog();
  EXPECT_EQ(-2, RunInstWebView2(Config(RefusedUrl(L"boot.exe"), L"", L"")));
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(InstallerRecord().empty());
  EXPECT_NE(std::string::npos, LogText().find("no download url, id=1"));
  EXPECT_NE(std::string::npos, LogText().find("end RunMain."));
}

TEST_F(InstallFlowTest, StopBeforeTheRunSkipsIt) {
  Publish(L"boot.exe", "pv=121.0.0.1");
  SignalStop();
  EXPECT_EQ(-2, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), L"")));
  EXPECT_TRUE(InstallerRecord().empty());
  EXPECT_TRUE(DownloadFilesLeft().empty());
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(InstallFlowTest, StopDuringADownloadEndsTheRunWithoutTheCdnAttempt) {
  EnableLog();
  Publish(L"boot.exe", "pv=121.0.0.1");
  const std::wstring md5 = Publish(L"cdn.exe", "pv=109.0.0.2");
  // The server sends half the file and then nothing for 20 s.
  std::atomic<DWORD> stopped_at{0};
  std::thread stopper = StopWhen(
      [this] {
        if (Requests().empty()) return false;
        Sleep(500);
        return true;
      },
      &stopped_at);
  EXPECT_EQ(-2, RunInstWebView2(Config(Url(L"boot.exe", L"stall/20000"), Url(L"cdn.exe"), md5)));
  const DWORD ended_at = GetTickCount();
  stopper.join();
  EXPECT_LT(ended_at - stopped_at, 3000u) << "the stop waited for the silent server";
  EXPECT_EQ(std::string::npos, LogText().find("left behind")) << "the transfer ignored its abort";
  EXPECT_TRUE(InstallerRecord().empty());
  EXPECT_TRUE(DownloadFilesLeft().empty());
  ASSERT_EQ(1u, Requests().size());
  EXPECT_NE(std::string::npos, Requests()[0].find("/boot.exe"));
  const std::string log = LogText();
  EXPECT_NE(std::string::npos,
            log.find("dow_start:dow_fail, ex=&ex_ary[method]=0&ex_ary[time]="));
  EXPECT_NE(std::string::npos, log.find("&ex_ary[erro]=cancel"));
  EXPECT_EQ(std::string::npos, log.find("&ex_ary[method]=1")) << "the CDN copy was tried";
}

TEST_F(InstallFlowTest, StopDuringTheInstallerWaitEndsTheWaitAndTheRun) {
  EnableLog();
  Publish(L"boot.exe", "pv=121.0.0.1;sleep=60000");
  const std::wstring md5 = Publish(L"cdn.exe", "pv=109.0.0.2");
  std::thread stopper = StopWhen([] { return !InstallerRecord().empty(); });
  const DWORD start = GetTickCount();
  EXPECT_EQ(-2, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), md5)));
  stopper.join();
  EXPECT_LT(GetTickCount() - start, 30000u);
  EXPECT_EQ((std::vector<std::string>{InstallerArgsLine(kBootstrapperParams)}), InstallerRecord());
  EXPECT_EQ(1u, Requests().size());
  EXPECT_EQ(std::string::npos, LogText().find("&ex_ary[method]=1")) << "the CDN copy was tried";
}

TEST_F(InstallFlowTest, StalledDownloadIsCutByTheTimeOut) {
  EnableLog();
  Publish(L"boot.exe", "pv=121.0.0.1");
  const std::wstring md5 = Publish(L"cdn.exe", "pv=109.0.0.2;scope=user");
  FlowConfig config = Config(Url(L"boot.exe", L"stall/3000"), Url(L"cdn.exe"), md5);
  config.bootstrapper_timeout_ms = 1000;
  EXPECT_EQ(0, RunInstWebView2(config));
  EXPECT_EQ(L"109.0.0.2", GetInstalledVersion());
  EXPECT_NE(std::string::npos, LogText().find("&ex_ary[method]=0&ex_ary[time]="));
  EXPECT_NE(std::string::npos, LogText().find("&ex_ary[erro]=timout"));
  EXPECT_EQ((std::vector<std::string>{InstallerArgsLine(kCdnParams), "installer done"}),
            InstallerRecord());
}

TEST_F(InstallFlowTest, SilentServerIsCutByTheTimeOut) {
  EnableLog();
  Publish(L"boot.exe", "pv=121.0.0.1");
  // Silent before the headers, and after half the body.
  for (const wchar_t* behaviour : {L"hang/20000", L"stall/20000"}) {
    SCOPED_TRACE(base::WideToUtf8(behaviour));
    FlowConfig config = Config(Url(L"boot.exe", behaviour), RefusedUrl(L"cdn.exe"), L"x");
    config.bootstrapper_timeout_ms = 1000;
    EXPECT_EQ(-2, RunInstWebView2(config));
    EXPECT_TRUE(InstallerRecord().empty());
    // The log goes on across runs in one process: this run's failure is the last.
    const std::string log = LogText();
    const std::string key = "&ex_ary[method]=0&ex_ary[time]=";
    const size_t at = log.rfind(key);
    ASSERT_NE(std::string::npos, at);
    const long elapsed = atol(log.c_str() + at + key.size());
    EXPECT_GE(elapsed, 1000) << "cut before the time-out";
    EXPECT_LT(elapsed, 3000) << "the time-out waited for the silent server";
    EXPECT_NE(std::string::npos, log.find("&ex_ary[erro]=timout", at));
    EXPECT_EQ(std::string::npos, log.find("left behind")) << "the transfer ignored its abort";
  }
}

TEST_F(InstallFlowTest, NoLogWithoutTheSwitchFile) {
  SetMachinePv(L"120.0.0.1");
  EXPECT_EQ(0, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), L"")));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(TrayClient::LogPath().c_str()));
}

TEST_F(InstallFlowTest, SwitchFileGivesTheFullLog) {
  ASSERT_TRUE(WriteFileBytes(TrayClient::LogPath(), "left from an earlier run\r\n"));
  EnableLog();
  Publish(L"boot.exe", "pv=121.0.0.1");
  EXPECT_EQ(0, RunInstWebView2(Config(Url(L"boot.exe"), Url(L"cdn.exe"), L"")));
  const std::vector<std::string> lines = Lines(LogText());
  ASSERT_GE(lines.size(), 3u);
  EXPECT_NE(std::string::npos, lines.front().find("-------log start")) << lines.front();
  EXPECT_NE(std::string::npos, lines.back().find("-------log end")) << lines.back();
  const std::string log = LogText();
  EXPECT_EQ(std::string::npos, log.find("left from an earlier run"));
  for (const char* expected :
       {"start RunMain. thread id is ", "create window.", "SendStat:start", "SendStat:noexist",
        "MainWindow::DownloadWebview2AsyncByMicrosoftUrl, path=", "dow_start:exist, ex=&ex_ary[method]=0",
        "ulProgress:", "download webview2 succ, start install async. id=0",
        "install webview2 succ. path=", "webview2 install success!", "SendStat:end",
        "MainWindow::OnDestroy()", "quit message loop.", "destroy main_window.",
        "delete main_window_.", "end RunMain."}) {
    EXPECT_NE(std::string::npos, log.find(expected)) << expected;
  }
}

}  // namespace
}  // namespace webrt
