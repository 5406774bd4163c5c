#include "log/logger.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "log/log_test_util.h"

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

}  // namespace
