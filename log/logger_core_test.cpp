#include "log/logger_core.h"

#include <gtest/gtest.h>

#include <regex>

#include "log/log_test_util.h"

namespace LogUtils {
namespace {

using log_test::Messages;
using log_test::ReadMessages;

class LoggerCoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<LoggerCoreImpl> MakeCore(int level, BOOL fresh, DWORD limit,
                                           const wchar_t* name = L"") {
    auto core = std::make_unique<LoggerCoreImpl>(name, &lock_);
    core->Configure(appender_, CoreSettings{level, FALSE, fresh, limit});
    return core;
  }
  static void Log(LoggerCore& core, const std::string& text) {
    LogStream stream;
    stream << text;
    core.Write(stream);
  }
  // The header has a fixed width for a given process and thread.
  static DWORD LineBytes(const std::string& text) {
    return static_cast<DWORD>(
        FormatLogHeader({}, GetCurrentProcessId(), GetCurrentThreadId(), L"").size() + text.size() +
        2);
  }
  static int Level(LoggerCore& core) {
    int level = kDebug;
    while (level < kOff && !core.IsEnabled(level)) ++level;
    return level;
  }

  log_test::TempLogPath log_{L"core"};
  CCriticalSection lock_;
  std::shared_ptr<LogAppender> appender_ = std::make_shared<LogAppender>(log_.path, L"", FALSE);
};

TEST_F(LoggerCoreTest, SizeLimitBoundary) {
  const std::string first(200, 'f');
  const struct {
    BOOL fresh;
    DWORD over;  // bytes by which the first line exceeds the limit
    Messages lines;
    int level;
  } kCases[] = {
      {FALSE, 0, {first}, kInfo},
      {TRUE, 0, {first}, kInfo},
      {TRUE, 1, {first, "-------log full"}, kOff},
      {FALSE, 1, {}, kInfo},  // deleted; logging goes on
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << "fresh " << c.fresh << " over " << c.over);
    appender_->Reset();
    auto core = MakeCore(kInfo, c.fresh, LineBytes(first) - c.over);
    Log(*core, first);
    EXPECT_EQ(ReadMessages(log_.path), c.lines);
    EXPECT_EQ(Level(*core), c.level);
    if (!c.fresh && c.over) {
      Log(*core, "second");
      EXPECT_EQ(ReadMessages(log_.path), (Messages{"-------log full reset", "second"}));
    }
  }
}

TEST_F(LoggerCoreTest, FailedFullResetReportsErrorAndStops) {
  ASSERT_TRUE(log_test::WriteRaw(log_.path, ""));
  // Open without delete sharing, so the reset cannot delete the file.
  base::ScopedHandle blocker(CreateFileW(log_.path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
  auto core = MakeCore(kInfo, FALSE, 1);
  Log(*core, "first");
  EXPECT_EQ(Level(*core), kOff);
  appender_->Write(L"probe", false);  // pushes out the queued failure line
  const Messages lines = ReadMessages(log_.path);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(
      std::regex_match(lines[1], std::regex(R"(-------log full reset failed\. 32:[^\r\n]+)")))
      << lines[1];
}

TEST_F(LoggerCoreTest, LevelChangeLines) {
  const struct {
    const wchar_t* name;
    int from;
    int to;
    Messages lines;
  } kCases[] = {
      {L"", kDebug, kOff, {"-------log off"}},
      {L"", kInfo, kDebug, {"-------log lev change: Debug"}},
      {L"", kDebug, kErr, {"-------log lev change: Err"}},
      {L"", kOff, kInfo, {"-------log lev change: Info"}},
      {L"", kErr, kOff, {}},
      {L"mod", kInfo, kOff, {"-------log off[mod]"}},
      {L"mod", kErr, kDebug, {"-------log lev change[mod]: Debug"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
    appender_->Reset();
    auto core = MakeCore(c.from, FALSE, kDefaultSizeLimit, c.name);
    core->SetLevel(c.to);
    EXPECT_EQ(ReadMessages(log_.path), c.lines);
    EXPECT_EQ(Level(*core), c.to);
  }
}

}  // namespace
}  // namespace LogUtils
