#include "log/logger_impl.h"

#include <gtest/gtest.h>

#include "log/log_test_util.h"

namespace LogUtils {
namespace {

using log_test::Messages;
using log_test::ReadMessages;
using log_test::TempLogPath;

template <class Target>
void Log(Target& target, const char* text) {
  LogStream stream;
  stream << text;
  target.Write(stream);
}

template <class Target>
int Level(Target& target) {
  int level = kDebug;
  while (level < kOff && !target.IsEnabled(level)) ++level;
  return level;
}

TEST(LoggerImpl, NothingIsWrittenBeforeInit) {
  TempLogPath log(L"impl_before_init");
  LoggerImpl logger;
  logger.SetLevel(kDebug);
  EXPECT_FALSE(logger.IsEnabled(kErr));
  EXPECT_EQ(logger.GetCore(nullptr), nullptr);
  // A core made before Init has no file, even after Init.
  std::shared_ptr<LoggerCore> early = logger.GetCore(L"early");
  early->SetLevel(kDebug);
  logger.Init(log.path.c_str(), L"", TRUE, FALSE, kDefaultSizeLimit);
  Log(*early, "lost");
  logger.End();
  EXPECT_EQ(ReadMessages(log.path), (Messages{"-------log start", "-------log end"}));
}

TEST(LoggerImpl, SwitchFileRaisesToDebug) {
  for (BOOL enable : {FALSE, TRUE}) {
    SCOPED_TRACE(enable);
    TempLogPath log(L"impl_switch");
    ASSERT_TRUE(log.SetSwitch(true));
    LoggerImpl logger;
    logger.Init(log.path.c_str(), L"", enable, FALSE, kDefaultSizeLimit);
    EXPECT_EQ(Level(logger), kDebug);
    // An enabled caller fixes the level; only a switch reload moves it.
    logger.ApplyCommandLine(L"--set_log_lev=2");
    EXPECT_EQ(Level(logger), enable ? kDebug : kErr);
    ASSERT_TRUE(log.SetSwitch(false));
    logger.ApplyCommandLine(L"--reload_log_switch");
    EXPECT_EQ(Level(logger), kOff);
    const Messages expected =
        enable ? Messages{} : Messages{"-------log start", "-------log lev change: Err"};
    EXPECT_EQ(ReadMessages(log.path), expected);
  }
}

TEST(LoggerImpl, ApplyCommandLine) {
  const struct {
    BOOL enable;
    const wchar_t* command_line;
    int level;
    Messages lines;
  } kCases[] = {
      {TRUE, L"setup.exe --SET_LOG_LEV=3", kOff, {"-------log start", "-------log off"}},
      {FALSE, L"--set_log_lev=2", kErr, {}},
      {TRUE,
       L"--set_log_lev=3 --set_log_lev=0",
       kDebug,
       {"-------log start", "-------log lev change: Debug"}},
      {TRUE, L"--set_log_lev=9", kInfo, {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.command_line);
    TempLogPath log(L"impl_cmdline");
    LoggerImpl logger;
    logger.Init(log.path.c_str(), L"", c.enable, FALSE, kDefaultSizeLimit);
    logger.ApplyCommandLine(c.command_line);
    EXPECT_EQ(Level(logger), c.level);
    EXPECT_EQ(ReadMessages(log.path), c.lines);
  }
}

TEST(LoggerImpl, ReloadResetNamedCoresAndEnd) {
  TempLogPath log(L"impl_run");
  LoggerImpl logger;
  logger.Init(log.path.c_str(), L"run", TRUE, FALSE, kDefaultSizeLimit);
  std::shared_ptr<LoggerCore> mod = logger.GetCore(L"mod");
  EXPECT_EQ(logger.GetCore(L"mod"), mod);
  EXPECT_EQ(Level(*mod), kInfo);  // copied from the default core
  Log(logger, "a");
  logger.Reset();
  EXPECT_FALSE(log.Exists());
  ASSERT_TRUE(log.SetSwitch(true));
  logger.ApplyCommandLine(L"x --Reload_Log_Switch");
  mod->SetLevel(kErr);
  Log(*mod, "from mod");
  logger.End();
  EXPECT_FALSE(logger.IsEnabled(kErr));
  EXPECT_FALSE(mod->IsEnabled(kErr));
  EXPECT_EQ(ReadMessages(log.path, "run"),
            (Messages{"-------log reset", "-------log reload switch",
                      "-------log lev change[mod]: Err", "from mod", "-------log end"}));
}

}  // namespace
}  // namespace LogUtils
