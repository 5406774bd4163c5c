#include "log/log_stream.h"

#include <gtest/gtest.h>

namespace LogUtils {
namespace {

TEST(LogStream, PrefixFromSourcePath) {
  const struct {
    const char* path;
    int line;
    const wchar_t* prefix;
  } kCases[] = {
      {"C:\\src\\app\\app_main_window.cpp", 304, L"[I][ 304][app_main_window] "},
      {"/work/main/log/log_stream.cpp", 7, L"[I][   7][log_stream] "},  // mingw's __FILE__
      {"C:\\src/mixed\\name.v2.cpp", 12, L"[I][  12][name.v2] "},
      {"log_stream.cpp", 12345, L"[I][12345][log_stream] "},
      {"C:\\src\\Makefile", 5, L"[I][   5] "},  // no '.'
      {"C:\\src.d\\noext", 5, L"[I][   5] "},   // '.' only in a directory name
      {"C:\\src\\.hidden", 5, L"[I][   5] "},   // empty base name
  };
  for (const auto& c : kCases) {
    LogStream stream(L"[I]", c.line, c.path);
    EXPECT_EQ(stream.str(), c.prefix) << c.path;
  }
}

}  // namespace
}  // namespace LogUtils
