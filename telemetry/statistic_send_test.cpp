// Statistics requests against real endpoints on 127.0.0.1: the loopback
// server of tests/telemetry (which logs every request line), a listener that
// accepts and never answers, and a closed port.
#include <winsock2.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "telemetry/machine_id.h"
#include "telemetry/mid2.h"
#include "telemetry/statistic_transport.h"
#include "telemetry/mid_test_support.h"
#include "telemetry/setup_statistics.h"
#include "telemetry/statistic_impl.h"

namespace {

using telemetry_test::WriteHubwright;

constexpr wchar_t kTemplate[] =
    L"http://{host}/pc_all?app=pelorix&pid={pid}&mid={mid}&mid2={mid2}&appver={appver}"
    L"&modver={modver}&type={type}&action={action}&ex_ary[ex_flag]=value_added";

std::wstring TemplateFor(unsigned port) {
  return telemetry::FillStatisticsHost(kTemplate, (L"127.0.0.1:" + std::to_wstring(port)).c_str());
}

std::vector<std::string> LoggedRequests() {
  std::ifstream in(base::WideToUtf8(std::wstring(STAT_TEST_WWW) + L"\\requests.log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The logged request line containing `marker`, waiting up to `timeout_ms`.
std::string WaitForRequest(const std::string& marker, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  do {
    for (const std::string& line : LoggedRequests()) {
      if (line.find(marker) != std::string::npos) return line;
    }
    Sleep(50);
  } while (GetTickCount() - start < timeout_ms);
  return std::string();
}

// A marker unique to this run, carried as the pid.
std::string UniquePid(const char* test) {
  return std::string(test) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount());
}

std::string Narrow(const std::wstring& text) { return base::WideToUtf8(text); }

std::string OsText() { return Narrow(telemetry::OsVersionText()); }

class WinsockScope {
 public:
  WinsockScope() { ok_ = WSAStartup(MAKEWORD(2, 2), &data_) == 0; }
  ~WinsockScope() {
    if (ok_) WSACleanup();
  }
  bool ok() const { return ok_; }

 private:
  WSADATA data_;
  bool ok_ = false;
};

// A loopback socket on a free port; listening when asked (connections then
// complete but are never answered).
class LoopbackSocket {
 public:
  explicit LoopbackSocket(bool listening) {
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (socket_ == INVALID_SOCKET || bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        (listening && listen(socket_, 16) != 0)) {
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackSocket() { Close(); }
  void Close() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }
  unsigned port() const { return port_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  unsigned port_ = 0;
};

class StatisticSendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = telemetry_test::ReadHubwright(CVnkStatisticImpl::kSamplingValue);
    SetThreshold(L"100");
    wchar_t buffer[260];
    ASSERT_TRUE(GetMID(buffer, 260));
    mid_ = Narrow(buffer);
    ASSERT_EQ(GetMID2(buffer, 260), S_OK);
    mid2_ = Narrow(buffer);
  }
  void TearDown() override {
    // Senders still running when the test program exits can bring Wine's
    // process down with them; the setup itself waits the same way.
    telemetry::WaitForAsyncTransfers(10000);
    if (saved_ == telemetry_test::kAbsent) {
      base::RegRemoveValue(HKEY_LOCAL_MACHINE, telemetry_test::kHubwrightKey,
                           CVnkStatisticImpl::kSamplingValue, telemetry_test::kView);
    } else {
      WriteHubwright(CVnkStatisticImpl::kSamplingValue, saved_);
    }
  }
  static void SetThreshold(const wchar_t* value) { WriteHubwright(CVnkStatisticImpl::kSamplingValue, value); }

  // The request line the server should log for `action` sent through
  // SetupStatistics with pid `pid`, appver "1.2.3.4", modver "5.6.7.8".
  std::string Expected(const std::string& pid, const std::string& action, const std::string& new_user,
                       const std::string& tail) const {
    return "GET /pc_all?app=pelorix&pid=" + pid + "&mid=" + mid_ + "&mid2=" + mid2_ +
           "&appver=1.2.3.4&modver=5.6.7.8&type=install&action=" + action +
           "&ex_ary[ex_flag]=value_added&ex_ary[os]=" + OsText() + "&ex_ary[new_user]=" + new_user +
           "&ex_ary[ms_mid]=" + Narrow(telemetry::MachineGuid()) + "&ex_ary[interval]=0" + tail;
  }

  // A facade over `impl` set up as the setup does it, against `port`.
  static void InitLikeTheSetup(SetupStatistics& setup, CVnkStatisticImpl& impl, const std::string& pid,
                               unsigned port) {
    setup.Init(0, L"install", TemplateFor(port).c_str());
    setup.SetPid(base::Utf8ToWide(pid));
    setup.SetAppVersion(L"1.2.3.4");
    impl.SetModVersion(L"5.6.7.8");
  }

  std::wstring saved_;
  std::string mid_, mid2_;
};

TEST_F(StatisticSendTest, AsyncStartArrivesWithTheExactQuery) {
  CVnkStatisticImpl impl;
  SetupStatistics setup(&impl);
  const std::string pid = UniquePid("start");
  InitLikeTheSetup(setup, impl, pid, STAT_TEST_PORT);
  ASSERT_TRUE(setup.Report(L"start"));
  EXPECT_EQ(impl.async_sends(), 1);
  EXPECT_EQ(WaitForRequest("pid=" + pid + "&", 20000), Expected(pid, "start", "1", ""));
}

TEST_F(StatisticSendTest, AsyncFailCarriesItsErrorCodeLast) {
  CVnkStatisticImpl impl;
  SetupStatistics setup(&impl);
  const std::string pid = UniquePid("fail");
  InitLikeTheSetup(setup, impl, pid, STAT_TEST_PORT);
  setup.SetNewUser(false);
  ASSERT_TRUE(setup.Report(L"fail", L"&ex_ary[errcode]=5", true));
  EXPECT_EQ(WaitForRequest("pid=" + pid + "&", 20000), Expected(pid, "fail", "0", "&ex_ary[errcode]=5"));
}

TEST_F(StatisticSendTest, SyncEndHasArrivedWhenReportReturns) {
  CVnkStatisticImpl impl;
  SetupStatistics setup(&impl);
  const std::string pid = UniquePid("end");
  InitLikeTheSetup(setup, impl, pid, STAT_TEST_PORT);
  const DWORD start = GetTickCount();
  ASSERT_TRUE(setup.Report(L"end", L"", false));
  std::printf("synchronous \"end\" to the live server took %lu ms\n", GetTickCount() - start);
  EXPECT_EQ(WaitForRequest("pid=" + pid + "&", 0), Expected(pid, "end", "1", ""));
  EXPECT_EQ(impl.async_sends(), 0);
}

TEST_F(StatisticSendTest, SamplingThresholdOnTheWire) {
  struct Case {
    const wchar_t* stored;
    bool expected;  // whether "30per_act" may arrive
  } cases[] = {{L"31", false}, {L"30", true}};
  for (const Case& c : cases) {
    SetThreshold(c.stored);
    CVnkStatisticImpl impl;
    const std::string pid = UniquePid("sampling");
    impl.Init(0, L"install", TemplateFor(STAT_TEST_PORT).c_str());
    impl.SetPid(base::Utf8ToWide(pid));
    EXPECT_EQ(impl.Report(30, L"act", nullptr, nullptr, false, nullptr), c.expected ? 1 : 0);
    // A 100 % event always goes; once it is in, the sampled one had its chance.
    ASSERT_EQ(impl.Report(100, L"sentinel", nullptr, nullptr, false, nullptr), 1);
    const std::string prefix = "GET /pc_all?app=pelorix&pid=" + pid + "&mid=" + mid_ + "&mid2=" + mid2_ +
                               "&appver=&modver=&type=install&action=";
    int sentinels = 0, sampled = 0;
    for (const std::string& line : LoggedRequests()) {
      sentinels += line == prefix + "sentinel&ex_ary[ex_flag]=value_added";
      sampled += line == prefix + "30per_act&ex_ary[ex_flag]=value_added";
    }
    EXPECT_EQ(sentinels, 1);
    EXPECT_EQ(sampled, c.expected ? 1 : 0) << Narrow(c.stored);
  }
}

TEST_F(StatisticSendTest, AsyncCompletionRunsOnTheSenderThread) {
  CVnkStatisticImpl impl;
  impl.Init(0, L"install", TemplateFor(STAT_TEST_PORT).c_str());
  const std::string pid = UniquePid("completion");
  impl.SetPid(base::Utf8ToWide(pid));
  base::ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD thread = 0;
  bool succeeded = false;
  ASSERT_EQ(impl.Report(100, L"cb", nullptr, nullptr, true, nullptr,
                        [&](bool ok) {
                          succeeded = ok;
                          thread = GetCurrentThreadId();
                          SetEvent(done.Get());
                        }),
            1);
  ASSERT_EQ(WaitForSingleObject(done.Get(), 20000), WAIT_OBJECT_0);
  EXPECT_TRUE(succeeded);
  EXPECT_NE(thread, GetCurrentThreadId());
  EXPECT_FALSE(WaitForRequest("pid=" + pid + "&", 0).empty());
}

BOOL WINAPI NeverConnected(LPDWORD flags, DWORD) {
  *flags = INTERNET_CONNECTION_OFFLINE;
  return FALSE;
}

ULONG WINAPI NoAdapters(void*, PULONG) { return ERROR_NO_DATA; }

// Puts a machine without network in place for the asynchronous senders.
class OfflineScope {
 public:
  OfflineScope() { telemetry::OverrideConnectivityForTesting(&api_); }
  ~OfflineScope() { telemetry::OverrideConnectivityForTesting(nullptr); }

 private:
  static constexpr telemetry::ConnectivityApi api_ = {&NeverConnected, &NoAdapters};
};

TEST_F(StatisticSendTest, WithoutNetworkAsyncSendsDoNothingButSyncStillTries) {
  CVnkStatisticImpl impl;
  impl.Init(0, L"install", TemplateFor(STAT_TEST_PORT).c_str());
  const std::string pid = UniquePid("offline");
  impl.SetPid(base::Utf8ToWide(pid));
  bool called = false;
  {
    OfflineScope offline;
    EXPECT_EQ(impl.Report(100, L"lost", nullptr, nullptr, true, nullptr, [&](bool) { called = true; }), 1)
        << "the sender starts; it finds no network";
    // The synchronous send does not ask about the network.
    ASSERT_EQ(impl.Report(100, L"sentinel", nullptr, nullptr, false, nullptr), 1);
    Sleep(1000);
  }
  EXPECT_FALSE(called);
  EXPECT_NE(WaitForRequest("pid=" + pid + "&", 0).find("action=sentinel&"), std::string::npos);
  for (const std::string& line : LoggedRequests()) EXPECT_EQ(line.find("action=lost&"), std::string::npos);
}

// The bound must hold against an endpoint that takes the connection and then
// says nothing, and against one that is not there at all.
TEST_F(StatisticSendTest, SyncSendIsBoundedWhenTheEndpointNeverAnswers) {
  WinsockScope winsock;
  ASSERT_TRUE(winsock.ok());
  LoopbackSocket silent(true);
  ASSERT_NE(silent.port(), 0u);
  CVnkStatisticImpl impl;
  SetupStatistics setup(&impl);
  InitLikeTheSetup(setup, impl, "silent", silent.port());
  const DWORD start = GetTickCount();
  EXPECT_FALSE(setup.Report(L"end", L"", false));
  const DWORD elapsed = GetTickCount() - start;
  std::printf("synchronous \"end\" to a silent endpoint gave up after %lu ms (bound %lu ms)\n", elapsed,
              CVnkStatisticImpl::kSyncSendTimeoutMs);
  EXPECT_GE(elapsed, CVnkStatisticImpl::kSyncSendTimeoutMs - 100);
  EXPECT_LT(elapsed, CVnkStatisticImpl::kSyncSendTimeoutMs + 1500);
}

TEST_F(StatisticSendTest, SyncSendToAClosedPortFailsWithinTheBound) {
  WinsockScope winsock;
  ASSERT_TRUE(winsock.ok());
  LoopbackSocket closed(false);
  const unsigned port = closed.port();
  ASSERT_NE(port, 0u);
  closed.Close();
  CVnkStatisticImpl impl;
  SetupStatistics setup(&impl);
  InitLikeTheSetup(setup, impl, "closed", port);
  const DWORD start = GetTickCount();
  EXPECT_FALSE(setup.Report(L"end", L"", false));
  const DWORD elapsed = GetTickCount() - start;
  std::printf("synchronous \"end\" to a closed port failed after %lu ms (bound %lu ms)\n", elapsed,
              CVnkStatisticImpl::kSyncSendTimeoutMs);
  EXPECT_LT(elapsed, CVnkStatisticImpl::kSyncSendTimeoutMs + 1500);
}

// Runs stat_exit_probe (beside this program) with `args`; its exit code, or
// ~0u when it could not be run or did not end within a minute.
DWORD RunProbe(const std::wstring& args, DWORD* elapsed) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return ~0u;
  std::wstring probe(path, n);
  probe = probe.substr(0, probe.rfind(L'\\') + 1) + L"stat_exit_probe.exe";
  std::wstring command = L"\"" + probe + L"\" " + args;
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  const DWORD start = GetTickCount();
  if (!CreateProcessW(probe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return ~0u;
  }
  base::ScopedHandle process(info.hProcess), thread(info.hThread);
  if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) return ~0u;
  DWORD code = ~0u;
  GetExitCodeProcess(process.Get(), &code);
  *elapsed = GetTickCount() - start;
  return code;
}

// A run's last steps as the setup takes them (async "start", sync "end",
// exit) against a silent endpoint, in a process of its own: it must end
// promptly and cleanly with its sender threads still blocked.
TEST_F(StatisticSendTest, ExitWithSendsStillRunningIsClean) {
  DWORD elapsed = 0;
  const DWORD code = RunProbe(L"", &elapsed);
  std::printf("probe exited with %lu after %lu ms\n", code, elapsed);
  EXPECT_EQ(code, 7u) << "1: wrong observation; an exception code: a crash";
  EXPECT_LT(elapsed, CVnkStatisticImpl::kSyncSendTimeoutMs + 10000);
}

// Install may be a library that its host frees after Start: senders still
// waiting then must keep its code mapped until they are done.
TEST_F(StatisticSendTest, HostFreeingTheReporterWhileSendsWaitIsClean) {
  DWORD elapsed = 0;
  const DWORD code = RunProbe(L"unload", &elapsed);
  std::printf("probe (unload) exited with %lu after %lu ms\n", code, elapsed);
  EXPECT_EQ(code, 7u) << "1: wrong observation; an exception code: a crash";
}

}  // namespace
