// Helpers for tests that run the built programs as separate processes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// Why a case is skipped when the tests are built for x86_64 (for machines
// that run no 32-bit code): the setup writes its keys without a view flag,
// while the product's uninstaller and the next setup look for them in the
// 32-bit view, where only a 32-bit setup writes them.
constexpr char kNeeds32BitView[] =
    "needs 32-bit execution: a 64-bit setup writes its keys to the 64-bit view, but the next setup and "
    "the uninstaller look for them in the 32-bit view";

// Directory of the running test program, with a trailing backslash.
std::wstring ThisDir();

// Path of a built deliverable or tool. The build places them relative to the
// test program (see tests/CMakeLists.txt).
std::wstring BuiltFile(const wchar_t* relative);

struct RunResult {
  bool started = false;
  bool finished = false;  // false: still running at the deadline (then killed)
  DWORD exit_code = 0;
  std::string output;     // stdout and stderr together
};

// Starts `command_line` and waits up to `timeout_ms`, collecting its output.
// `on_start` runs with the new process id before the wait begins.
RunResult Run(const std::wstring& command_line, DWORD timeout_ms,
              const std::function<void(DWORD pid)>& on_start = {});

// Watches for message boxes (dialog class "#32770") of one process, records
// their texts and answers each with `answer` (IDOK, IDNO, ...).
class BoxWatcher {
 public:
  explicit BoxWatcher(int answer) : answer_(answer) {}
  ~BoxWatcher() { Stop(); }
  void Watch(DWORD pid);
  void Stop();
  std::vector<std::wstring> texts() const;

 private:
  static DWORD WINAPI Main(void* self);
  void Poll();
  int answer_;
  DWORD pid_ = 0;
  HANDLE thread_ = nullptr;
  HANDLE stop_ = nullptr;
  mutable CRITICAL_SECTION lock_;
  bool lock_ready_ = false;
  std::vector<std::wstring> texts_;
  std::vector<HWND> answered_;
};

// Starts a process without waiting; the caller owns the returned handle.
HANDLE Launch(const std::wstring& command_line, DWORD* pid);

// A new empty directory under the temporary directory; removed with its
// contents by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::wstring& path() const { return path_; }
  std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool FileExists(const std::wstring& path);
// Removes a file or a directory with its contents; a missing one is fine.
void RemoveTree(const std::wstring& path);

// A REG_SZ value, or "<missing>".
std::wstring ReadRegString(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view = 0);
// A file's bytes, or "<unreadable>".
std::string ReadAll(const std::wstring& path);
// Names of the entries matching `pattern` ("C:\\dir\\*"), without "." and "..".
std::vector<std::wstring> Names(const std::wstring& pattern);
// Relative paths (after `prefix`) of every file below `dir`.
void ListFiles(const std::wstring& dir, const std::wstring& prefix, std::vector<std::wstring>* out);
// A shell folder (CSIDL_...).
std::wstring Folder(int csidl);

// Holds the setup's mutex and a window of the setup's class, as a running
// setup does, and counts the activation requests (0x1400) it receives.
class RunningSetupStandIn {
 public:
  RunningSetupStandIn();
  ~RunningSetupStandIn();
  bool ok() const { return ok_; }
  // Dispatches what is queued, then returns the count so far.
  int Requests();

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
  HANDLE mutex_ = nullptr;
  HWND hwnd_ = nullptr;
  bool ok_ = false;
  static int requests_;
};

std::wstring Quote(const std::wstring& s);

// ASCII text (channel ids, request fields) as a wide string.
inline std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

}  // namespace e2e
