// Test helper: appends numbered lines to a shared log file, started twice at
// once by multi_process_test.cpp.
//
//   log_writer_helper <log path> <name> <line count> <fresh 0|1> <ready event> <go event>
//
// Logs "ready" right after Init, signals <ready event>, waits for <go event>,
// then logs "line <i> <padding>" <line count> times and ends the log.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

#include "base/scoped_handle.h"
#include "log/logger.h"

namespace {

constexpr DWORD kGoTimeoutMs = 60 * 1000;

int Run(int argc, wchar_t** argv) {
  if (argc != 7) return 2;
  base::ScopedHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[5]));
  base::ScopedHandle go(OpenEventW(SYNCHRONIZE, FALSE, argv[6]));
  if (!ready.IsValid() || !go.IsValid()) return 3;

  LogUtils::Init(argv[1], argv[2], TRUE, _wtoi(argv[4]) != 0, 0);
  LOG_INFO << "ready";
  if (!SetEvent(ready.Get())) return 4;
  if (WaitForSingleObject(go.Get(), kGoTimeoutMs) != WAIT_OBJECT_0) return 5;

  // Long lines make a torn write more likely to show.
  const std::string padding(120, 'x');
  for (int i = 0, count = _wtoi(argv[3]); i < count; ++i)
    LOG_INFO << "line " << i << " " << padding;
  LogUtils::End();
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 1;
  const int result = Run(argc, argv);
  LocalFree(argv);
  return result;
}
