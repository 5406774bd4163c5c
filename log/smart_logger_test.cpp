#include "log/smart_logger.h"

#include <gtest/gtest.h>

#include "log/log_test_util.h"

namespace LogUtils {
namespace {

template <class Char>
bool Format(std::wstring* line, const Char* format, ...) {
  va_list args;
  va_start(args, format);
  const bool ok = FormatSmartLogLine(line, format, args);
  va_end(args);
  return ok;
}

TEST(SmartLogger, MessagesOver511CharactersAreDropped) {
  for (size_t length : {511u, 512u, 2000u}) {
    const bool fits = length < kSmartLogBufferChars;
    std::wstring line = L"untouched";
    EXPECT_EQ(Format(&line, "%s=%d", std::string(length - 2, 'a').c_str(), 5), fits);
    EXPECT_EQ(line, fits ? std::wstring(length - 2, L'a') + L"=5" : L"untouched");
    // Microsoft rules: %s in a wide format takes a wide string.
    EXPECT_EQ(Format(&line, L"%s", std::wstring(length, L'\x5378').c_str()), fits);
  }
}

TEST(SmartLogger, RunLogLeavesNoFile) {
  log_test::TempLogPath log(L"smart");
  CSmartLogger& logger = CSmartLogger::Get();
  logger.SetPath(log.path.c_str());
  SmartLog("install cef nRet=%d", 3);
  SmartLog(L"step %d", 2);
  EXPECT_EQ(logger.Flush(), 0);
  EXPECT_TRUE(logger.path().empty());
  EXPECT_FALSE(log.Exists());
}

}  // namespace
}  // namespace LogUtils
