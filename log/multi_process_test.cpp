// Two real processes (log_writer_helper.exe) append to one log file at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "base/scoped_handle.h"
#include "log/log_test_util.h"

namespace {

constexpr int kLines = 1500;
constexpr DWORD kTimeoutMs = 60 * 1000;

struct Writer {
  base::ScopedHandle process;
  base::ScopedHandle ready;
};

// Starts a helper with the fresh flag set and waits until it has written its
// first line; false when it could not start or exited first.
bool StartWriter(const std::wstring& log_path, const std::wstring& name, const std::wstring& go,
                 Writer* writer) {
  wchar_t exe[MAX_PATH];
  std::wstring helper(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
  helper.replace(helper.find_last_of(L"\\/") + 1, std::wstring::npos, L"log_writer_helper.exe");
  const std::wstring ready = go + name;
  writer->ready.Reset(CreateEventW(nullptr, TRUE, FALSE, ready.c_str()));
  std::wstring command_line = L"\"" + helper + L"\" \"" + log_path + L"\" " + name + L" " +
                              std::to_wstring(kLines) + L" 1 " + ready + L" " + go;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  base::ScopedHandle thread(info.hThread);
  writer->process.Reset(info.hProcess);
  const HANDLE handles[] = {writer->ready.Get(), writer->process.Get()};
  return WaitForMultipleObjects(2, handles, FALSE, kTimeoutMs) == WAIT_OBJECT_0;
}

DWORD WaitExitCode(const Writer& writer) {
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(writer.process.Get(), kTimeoutMs) == WAIT_OBJECT_0) {
    GetExitCodeProcess(writer.process.Get(), &code);
  }
  return code;
}

TEST(LogMultiProcess, ConcurrentWritersKeepLinesWholeAndFreshKeepsASharedFile) {
  log_test::TempLogPath log(L"two_process");
  const std::wstring go_name = L"PelorixLogTestGo" + std::to_wstring(GetCurrentProcessId());
  base::ScopedHandle go(CreateEventW(nullptr, TRUE, FALSE, go_name.c_str()));
  Writer a, b;
  ASSERT_TRUE(StartWriter(log.path, L"A", go_name, &a));
  // B starts fresh while A has the file: A's first lines must stay.
  ASSERT_TRUE(StartWriter(log.path, L"B", go_name, &b));
  ASSERT_TRUE(SetEvent(go.Get()));
  EXPECT_EQ(WaitExitCode(a), 0u);
  EXPECT_EQ(WaitExitCode(b), 0u);

  // '.' matches neither CR nor LF, so a torn or merged line fails the match.
  const std::regex line_form(R"(\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[ *\d+\]\[ *\d+\]\[([AB])\](.*))");
  const std::regex statement(R"(\[I\]\[ *\d+\]\[log_writer_helper\] (ready|line (\d+) x{120}))");
  std::map<std::string, log_test::Messages> messages;
  for (const std::string& line : log_test::ReadLines(log.path)) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, line_form)) << line;
    messages[match[1].str()].push_back(match[2].str());
  }
  for (const char* name : {"A", "B"}) {
    SCOPED_TRACE(name);
    const log_test::Messages& own = messages[name];
    ASSERT_EQ(own.size(), static_cast<size_t>(kLines + 3));
    EXPECT_EQ(own.front(), "-------log start");
    EXPECT_EQ(own.back(), "-------log end");
    for (int i = -1; i < kLines; ++i) {  // -1: the "ready" line
      std::smatch match;
      const std::string& message = own[i + 2];
      ASSERT_TRUE(std::regex_match(message, match, statement) &&
                  (i < 0 ? match[1] == "ready" : match[2] == std::to_string(i)))
          << "expected line " << i << ", got: " << message;
    }
  }
}

}  // namespace
