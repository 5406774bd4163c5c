// The two halves of the restart test, run in one throw-away prefix with a
// restart of it in between:
//
//   restart_probe.exe schedule <dir>   places files over ones this process
//                                      holds open; they must wait for restart
//   restart_probe.exe check <dir>      after the restart: the new files are in
//                                      place and nothing temporary is left
//
// Exit code 0 when every expectation holds; each failure is printed.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "engine/file_placement.h"
#include "package/temp_workspace.h"

namespace {

int g_failures = 0;

void Expect(bool condition, const char* what) {
  if (!condition) {
    std::printf("FAILED: %s\n", what);
    ++g_failures;
  }
}

bool WriteText(const std::wstring& path, const std::string& text) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD done = 0;
  return file && WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &done,
                           nullptr) && done == text.size();
}

std::string ReadText(const std::wstring& path) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return "<missing>";
  char buffer[256];
  DWORD done = 0;
  if (!ReadFile(file.Get(), buffer, sizeof(buffer), &done, nullptr)) return "<unreadable>";
  return std::string(buffer, done);
}

size_t CountMatching(const std::wstring& dir, const wchar_t* pattern) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  do ++count;
  while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

base::ScopedHandle Hold(const std::wstring& path, DWORD share) {
  return base::ScopedHandle(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

int Schedule(const std::wstring& dir) {
  std::wstring staging = dir + L"\\staging";
  Expect(package::CreateDirectories(staging, nullptr), "staging directory created");
  // locked.dll cannot even be renamed; running.exe can, like a running program.
  Expect(WriteText(dir + L"\\locked.dll", "old locked"), "locked.dll written");
  Expect(WriteText(dir + L"\\running.exe", "old running"), "running.exe written");
  Expect(WriteText(staging + L"\\locked.dll", "new locked"), "staged locked.dll written");
  Expect(WriteText(staging + L"\\running.exe", "new running"), "staged running.exe written");

  base::ScopedHandle locked = Hold(dir + L"\\locked.dll", FILE_SHARE_READ | FILE_SHARE_WRITE);
  base::ScopedHandle running = Hold(dir + L"\\running.exe", FILE_SHARE_READ | FILE_SHARE_DELETE);
  Expect(locked.IsValid() && running.IsValid(), "destinations held open");

  int outcome = -1;
  Expect(engine::PlaceFile((staging + L"\\locked.dll").c_str(), (dir + L"\\locked.dll").c_str(),
                           nullptr, &outcome) != FALSE,
         "locked.dll placed");
  Expect(outcome == engine::kNewFileAtRestart, "locked.dll waits for the restart");
  Expect(ReadText(dir + L"\\locked.dll") == "old locked", "old locked.dll still in place");

  outcome = -1;
  Expect(engine::PlaceFile((staging + L"\\running.exe").c_str(), (dir + L"\\running.exe").c_str(),
                           nullptr, &outcome) != FALSE,
         "running.exe placed");
  Expect(outcome == engine::kPlacedNow || outcome == engine::kOldFileAtRestart,
         "running.exe replaced now");
  Expect(ReadText(dir + L"\\running.exe") == "new running", "new running.exe in place");
  Expect(CountMatching(dir, L"cln*.tmp") >= 1, "the waiting file is under a cln name");
  return g_failures == 0 ? 0 : 1;
}

int Check(const std::wstring& dir) {
  Expect(ReadText(dir + L"\\locked.dll") == "new locked", "new locked.dll in place after restart");
  Expect(ReadText(dir + L"\\running.exe") == "new running", "new running.exe still in place");
  Expect(CountMatching(dir, L"cln*.tmp") == 0, "no cln file left after restart");
  return g_failures == 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  std::wstring mode = argv[1];
  if (mode == L"schedule") return Schedule(argv[2]);
  if (mode == L"check") return Check(argv[2]);
  return 2;
}
