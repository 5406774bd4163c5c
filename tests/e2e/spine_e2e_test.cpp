// The setup run seen from outside: the Start export driven by a host program
// and the single-instance rule. (Planted libraries: dll_planting_e2e_test.cpp.)
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/e2e_util.h"

namespace {

using e2e::BuiltFile;
using e2e::Quote;

constexpr DWORD kRunTimeoutMs = 60000;
constexpr wchar_t kAlreadyRunning[] = L"安装或卸载程序已经在运行,点击“确定”退出";

std::wstring HostCommand(const std::wstring& args) {
  return Quote(BuiltFile(L"start_host.exe")) + L" " + Quote(BuiltFile(L"Install.exe")) + L" " + args;
}

TEST(StartExport, NullCommandLineRunsWithDefaultsAndWritesFail) {
  // Not silent: the failing preparation shows its box, which the watcher answers.
  e2e::BoxWatcher boxes(IDOK);
  e2e::RunResult r = e2e::Run(HostCommand(L"-null 8"), kRunTimeoutMs, [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  ASSERT_TRUE(r.finished) << r.output;
  EXPECT_EQ(r.exit_code, 0u) << r.output;
  EXPECT_EQ(r.output, "start=0 result=fail\r\n");
  // This build carries no payload (its record was never filled in): the
  // package step asks whether to download the setup again.
  ASSERT_EQ(boxes.texts().size(), 1u);
  EXPECT_EQ(boxes.texts()[0], L"安装程序文件出错，是否重新下载安装文件");
}

TEST(StartExport, NullBufferOrNonPositiveLengthWritesNothing) {
  for (const wchar_t* args : {L"--hide_ui -null", L"--hide_ui 0", L"--hide_ui -3"}) {
    e2e::RunResult r = e2e::Run(HostCommand(args), kRunTimeoutMs);
    ASSERT_TRUE(r.finished) << r.output;
    EXPECT_EQ(r.output, "start=0 result=untouched\r\n") << args;
  }
}

TEST(StartExport, ShortBufferGetsATruncatedTerminatedWord) {
  e2e::RunResult r = e2e::Run(HostCommand(L"--hide_ui 3"), kRunTimeoutMs);
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.output, "start=0 result=fa\r\n");
}

TEST(StartExport, SecondCallReturnsAtOnceAndLeavesTheBuffer) {
  e2e::RunResult r = e2e::Run(HostCommand(L"--hide_ui 8 twice"), kRunTimeoutMs);
  ASSERT_TRUE(r.finished) << r.output;
  EXPECT_EQ(r.output, "start=0 result=fail\r\nstart=0 result=untouched\r\n");
}

TEST(StartExport, LoadedAwayFromItsAddressItFailsCleanly) {
  // With its preferred address taken the image lands elsewhere; whatever the
  // loader does about relocations, Start must not crash and must say "fail".
  e2e::RunResult r = e2e::Run(HostCommand(L"--hide_ui 8 occupy"), kRunTimeoutMs);
  ASSERT_TRUE(r.finished) << r.output;
  EXPECT_EQ(r.exit_code, 0u) << r.output;
  EXPECT_EQ(r.output, "start=0 result=fail\r\n");
}

TEST(SetupProgram, ExitCodeIsZeroAndNoBoxWhenSilent) {
  e2e::BoxWatcher boxes(IDOK);
  e2e::RunResult r = e2e::Run(Quote(BuiltFile(L"Install.exe")) + L" --hide_ui", kRunTimeoutMs,
                              [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_TRUE(boxes.texts().empty());
}

TEST(SingleInstance, SecondCopyShowsTheBoxAndActivatesTheFirst) {
  e2e::RunningSetupStandIn first;
  ASSERT_TRUE(first.ok());
  e2e::BoxWatcher boxes(IDOK);
  e2e::RunResult r = e2e::Run(Quote(BuiltFile(L"Install.exe")), kRunTimeoutMs, [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exit_code, 0u);
  ASSERT_EQ(boxes.texts().size(), 1u);
  EXPECT_EQ(boxes.texts()[0], kAlreadyRunning);
  EXPECT_EQ(first.Requests(), 1);
}

TEST(SingleInstance, SilentSecondCopyShowsNothingAndEndsWithoutRunning) {
  e2e::RunningSetupStandIn first;
  ASSERT_TRUE(first.ok());
  e2e::BoxWatcher boxes(IDOK);
  const DWORD begin = GetTickCount();
  e2e::RunResult r = e2e::Run(HostCommand(L"--hide_ui 8"), kRunTimeoutMs, [&](DWORD pid) { boxes.Watch(pid); });
  const DWORD elapsed = GetTickCount() - begin;
  boxes.Stop();
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.output, "start=0 result=fail\r\n");
  EXPECT_TRUE(boxes.texts().empty());
  EXPECT_EQ(first.Requests(), 1);
  // It never reached the environment step, whose failure pauses for 3 s.
  EXPECT_LT(elapsed, 3000u);
}

}  // namespace
