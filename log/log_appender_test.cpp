#include "log/log_appender.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "log/log_test_util.h"

namespace LogUtils {
namespace {

using log_test::Messages;
using log_test::ReadBytes;
using log_test::ReadMessages;
using log_test::TempLogPath;

void WINAPI FixedClock(LPSYSTEMTIME time) { *time = SYSTEMTIME{2024, 1, 0, 2, 3, 4, 5, 6}; }

TEST(LogAppender, HeaderAndMutexName) {
  const SYSTEMTIME time{2024, 12, 0, 7, 18, 36, 4, 123};
  EXPECT_EQ(FormatLogHeader(time, 4321, 5678, L""), L"12-07 18:36:04.123 [ 4321][ 5678]");
  EXPECT_EQ(FormatLogHeader(time, 123456, 7, L"inst"), L"12-07 18:36:04.123 [123456][    7][inst]");
  EXPECT_EQ(FormatLogHeader(time, 1, 2, std::wstring(200, L'n')).size(), 99u);
  EXPECT_EQ(MutexNameForPath(L"C:\\Temp\\webview2_inst.log"), L"CTEMPWEBVIEW2INSTLOG");
  EXPECT_EQ(MutexNameForPath(L"D:\\\x65E5\x5FD7\\\x00E9z-1.log"), L"DZ1LOG");
}

TEST(LogAppender, WritesOneUtf8LineWithHeader) {
  TempLogPath log(L"appender_line");
  LogAppender appender(log.path, L"inst", FALSE, &FixedClock);
  char header[64];
  snprintf(header, sizeof(header), "01-02 03:04:05.006 [%5d][%5d][inst]",
           static_cast<int>(GetCurrentProcessId()), static_cast<int>(GetCurrentThreadId()));
  const std::string expected = std::string(header) + "\xE5\xAE\x89\xE8\xA3\x85 ok\r\n";
  EXPECT_EQ(appender.Write(L"\x5B89\x88C5 ok", false), static_cast<int>(expected.size()));
  EXPECT_EQ(ReadBytes(log.path), expected);
}

TEST(LogAppender, FreshDeletesOnlyWhenNoOtherUserHasTheFile) {
  TempLogPath log(L"appender_fresh");
  ASSERT_TRUE(log_test::WriteRaw(log.path, "old\r\n"));
  {
    LogAppender first(log.path, L"", FALSE);
    // The mutex exists, so the file belongs to another user: it stays even
    // though nobody has it open yet to block a deletion.
    LogAppender second(log.path, L"", TRUE);
    EXPECT_EQ(ReadBytes(log.path), "old\r\n");
  }
  LogAppender again(log.path, L"", TRUE);
  EXPECT_FALSE(log.Exists());
}

TEST(LogAppender, BusyMutexQueuesLinesForALaterWrite) {
  TempLogPath log(L"appender_busy");
  LogAppender appender(log.path, L"", FALSE);
  // A mutex is re-entrant for its owner thread, so another thread holds it.
  base::ScopedHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread holder([&] {
    base::ScopedHandle mutex(CreateMutexW(nullptr, FALSE, appender.mutex_name().c_str()));
    WaitForSingleObject(mutex.Get(), INFINITE);
    SetEvent(held.Get());
    WaitForSingleObject(release.Get(), INFINITE);
    ReleaseMutex(mutex.Get());
  });
  WaitForSingleObject(held.Get(), INFINITE);
  EXPECT_EQ(appender.Write(L"one", false), 0);
  EXPECT_EQ(ReadBytes(log.path), "");
  SetEvent(release.Get());
  holder.join();
  appender.Write(L"two", false);
  EXPECT_EQ(ReadMessages(log.path), (Messages{"one", "two"}));
}

}  // namespace
}  // namespace LogUtils
