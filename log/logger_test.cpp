#include "log/logger.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "log/log_test_util.h"
#include "log/stage_timer.h"

namespace {

using log_test::Messages;
using log_test::ReadMessages;

int g_evaluated = 0;
int Evaluate() { return ++g_evaluated; }

std::string Prefix(const char* tag, int line) {
  char prefix[32];
  snprintf(prefix, sizeof(prefix), "%s[%4d][logger_test] ", tag, line);
  return prefix;
}

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { LogUtils::ReleaseLogger(); }
  // Closes the log file before log_ deletes it.
  void TearDown() override { LogUtils::ReleaseLogger(); }

  log_test::TempLogPath log_{L"macros"};
};

TEST_F(LoggerTest, DisabledStatementsBuildNothing) {
  g_evaluated = 0;
  LOG_ERR << Evaluate();  // before Init
  LogUtils::Init(log_.path.c_str());
  LOG_ERR << Evaluate();
  LogUtils::End();
  EXPECT_EQ(g_evaluated, 0);
  EXPECT_FALSE(log_.Exists());
}

TEST_F(LoggerTest, RunWithSwitchFileLogsEveryStatement) {
  ASSERT_TRUE(log_.SetSwitch(true));
  LogUtils::Init(log_.path.c_str(), L"", FALSE, FALSE, 0);
  auto core = LogUtils::GetCore(L"net");
  const int line = __LINE__ + 1;
  LOG_DEBUG << "value " << 7 << L" wide " << std::string("narrow");
  LOG_CORE_ERR(core) << "core";
  bool else_taken = false;
  if (log_.path.empty())
    LOG_INFO << "never";
  else
    else_taken = true;
  EXPECT_TRUE(else_taken);
  LogUtils::End();
  EXPECT_EQ(ReadMessages(log_.path),
            (Messages{"-------log start", Prefix("[D]", line) + "value 7 wide narrow",
                      Prefix("[E]", line + 1) + "core", "-------log end"}));
}

// The timeline: Debug lines only, times from the process's creation (so the
// loader's share counts), rising, each with the step from the previous mark.
TEST_F(LoggerTest, StageMarksFollowTheLevelAndCountFromProcessCreation) {
  LogUtils::Init(log_.path.c_str());
  LogUtils::MarkStage(L"off");
  LogUtils::SetLevel(LogUtils::kInfo);
  LogUtils::MarkStage(L"info");
  LogUtils::SetLevel(LogUtils::kDebug);
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
  const auto age_ms = [&created] {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) {
      return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (ticks(now) - ticks(created)) / 10000.0;
  };
  // Old enough that a count from anywhere later than the process's creation
  // shows; the system clock may step in 16 ms on Windows.
  while (age_ms() < 100) Sleep(10);
  const double before = age_ms() - 20;
  LogUtils::MarkStage(L"first");
  Sleep(20);
  LogUtils::MarkStage(L"second");
  LogUtils::End();
  std::vector<double> at, step;
  for (const std::string& m : ReadMessages(log_.path)) {
    EXPECT_EQ(m.find("timeline off"), std::string::npos);
    EXPECT_EQ(m.find("timeline info"), std::string::npos);
    double ms = 0, delta = 0, peak = 0;
    char name[16] = {};
    const size_t at_mark = m.find("timeline ");
    if (at_mark == std::string::npos) continue;
    ASSERT_EQ(sscanf(m.c_str() + at_mark, "timeline %15[a-z]: %lf ms (+%lf ms), peak working set %lf MiB", name,
                     &ms, &delta, &peak), 4) << m;
    EXPECT_GT(peak, 1.0) << m;
    at.push_back(ms);
    step.push_back(delta);
  }
  ASSERT_EQ(at.size(), 2u);
  EXPECT_GE(at[0], before);
  EXPECT_GE(at[1] - at[0], 15.0);
  EXPECT_NEAR(step[1], at[1] - at[0], 0.2);
}

}  // namespace
