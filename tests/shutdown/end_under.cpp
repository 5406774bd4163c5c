// Calls the shutdown step's process ending from a process of its own, so that
// a test can run it from inside the directory it clears.
//
//   end_under.exe end <dir> <result file>
//     EndProcessesUnder(<dir>).
//   end_under.exe bypath <program path> <result file>
//     EndProcessByPath(<program path>).
//   Both write "<result> <number ended>" to the result file and exit with 7.
//   end_under.exe spawn <end|bypath> <target> <result file>
//     Starts "end_under.exe <end|bypath> <target> <result file>" from its own
//     location, waits for it and exits with 100 + the child's exit code: 107
//     means both lived through it.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "engine/product_shutdown.h"

namespace {

int End(const wchar_t* mode, const wchar_t* target, const wchar_t* result_file) {
  int ended = -1;
  const int result = wcscmp(mode, L"bypath") == 0 ? engine::EndProcessByPath(target, &ended)
                                                   : engine::EndProcessesUnder(target, &ended);
  char text[64];
  const int n = snprintf(text, sizeof(text), "%d %d", result, ended);
  HANDLE file = CreateFileW(result_file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(file);
  return 7;
}

int Spawn(const wchar_t* mode, const wchar_t* target, const wchar_t* result_file) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" " + mode + L" \"" + target + L"\" \"" + result_file + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION child = {};
  if (!CreateProcessW(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
    return 3;
  }
  CloseHandle(child.hThread);
  DWORD code = 0;
  if (WaitForSingleObject(child.hProcess, 30000) != WAIT_OBJECT_0 || !GetExitCodeProcess(child.hProcess, &code)) {
    TerminateProcess(child.hProcess, 4);
    code = 4;
  }
  CloseHandle(child.hProcess);
  return 100 + static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && (wcscmp(argv[1], L"end") == 0 || wcscmp(argv[1], L"bypath") == 0)) {
    return End(argv[1], argv[2], argv[3]);
  }
  if (argc == 5 && wcscmp(argv[1], L"spawn") == 0) return Spawn(argv[2], argv[3], argv[4]);
  return 1;
}
