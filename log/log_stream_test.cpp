#include "log/log_stream.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>

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

// What the statements stream in comes out as a wide string stream with the
// classic locale writes it.
TEST(LogStream, FormatsLikeAWideStringStream) {
  static constexpr const wchar_t* kNull = nullptr;
  const struct {
    const char* what;
    void (*stream)(LogStream&);
    void (*expected)(std::wostream&);
  } kCases[] = {
      {"integers", [](LogStream& s) { s << 0 << -7 << 42u << INT_MIN << LLONG_MIN << ULLONG_MAX << 3ul << true; },
       [](std::wostream& s) { s << 0 << -7 << 42u << INT_MIN << LLONG_MIN << ULLONG_MAX << 3ul << true; }},
      {"hex and back", [](LogStream& s) { s << std::hex << 0x8007000Eul << L' ' << -1 << std::dec << L' ' << -1; },
       [](std::wostream& s) { s << std::hex << 0x8007000Eul << L' ' << -1 << std::dec << L' ' << -1; }},
      {"text", [](LogStream& s) { s << L"w" << std::wstring(L"s") << L'c' << "n" << std::string("ns"); },
       [](std::wostream& s) { s << L"w" << std::wstring(L"s") << L'c' << "n" << "ns"; }},
      {"null wide string", [](LogStream& s) { s << L"a" << kNull << L"b" << 1 << "c"; },
       [](std::wostream& s) { s << L"a" << kNull << L"b" << 1 << "c"; }},
  };
  for (const auto& c : kCases) {
    LogStream stream;
    c.stream(stream);
    std::wostringstream expected;
    c.expected(expected);
    EXPECT_EQ(stream.str(), expected.str()) << c.what;
  }
}

}  // namespace
}  // namespace LogUtils
