#include "tests/e2e/e2e_util.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace e2e {

std::wstring ThisDir() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

std::wstring BuiltFile(const wchar_t* relative) { return ThisDir() + relative; }

HANDLE Launch(const std::wstring& command_line, DWORD* pid) {
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> cmd(command_line.begin(), command_line.end());
  cmd.push_back(L'\0');
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return nullptr;
  }
  CloseHandle(pi.hThread);
  if (pid) *pid = pi.dwProcessId;
  return pi.hProcess;
}

RunResult Run(const std::wstring& command_line, DWORD timeout_ms,
              const std::function<void(DWORD pid)>& on_start) {
  RunResult result;
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &sa, 0)) return result;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {sizeof(si)};
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  si.hStdError = write_end;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::vector<wchar_t> cmd(command_line.begin(), command_line.end());
  cmd.push_back(L'\0');
  result.started =
      CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi) != 0;
  CloseHandle(write_end);
  if (!result.started) {
    CloseHandle(read_end);
    return result;
  }
  CloseHandle(pi.hThread);
  if (on_start) on_start(pi.dwProcessId);
  // Read on a thread so a chatty child cannot block on a full pipe.
  struct Reader {
    HANDLE pipe;
    std::string text;
    static DWORD WINAPI Main(void* p) {
      auto* self = static_cast<Reader*>(p);
      char buf[4096];
      DWORD got = 0;
      while (ReadFile(self->pipe, buf, sizeof(buf), &got, nullptr) && got) self->text.append(buf, got);
      return 0;
    }
  } reader{read_end, {}};
  HANDLE thread = CreateThread(nullptr, 0, &Reader::Main, &reader, 0, nullptr);
  result.finished = WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0;
  if (!result.finished) TerminateProcess(pi.hProcess, 255);
  GetExitCodeProcess(pi.hProcess, &result.exit_code);
  CloseHandle(pi.hProcess);
  // Grandchildren may hold the pipe; do not wait for them forever.
  if (WaitForSingleObject(thread, 5000) != WAIT_OBJECT_0) CancelSynchronousIo(thread);
  WaitForSingleObject(thread, 1000);
  CloseHandle(thread);
  CloseHandle(read_end);
  result.output = reader.text;
  return result;
}

void BoxWatcher::Watch(DWORD pid) {
  pid_ = pid;
  InitializeCriticalSection(&lock_);
  lock_ready_ = true;
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, &BoxWatcher::Main, this, 0, nullptr);
}

void BoxWatcher::Stop() {
  if (!thread_) return;
  SetEvent(stop_);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  CloseHandle(stop_);
  thread_ = nullptr;
}

std::vector<std::wstring> BoxWatcher::texts() const {
  if (!lock_ready_) return {};
  EnterCriticalSection(&lock_);
  std::vector<std::wstring> copy = texts_;
  LeaveCriticalSection(&lock_);
  return copy;
}

DWORD WINAPI BoxWatcher::Main(void* self) {
  auto* watcher = static_cast<BoxWatcher*>(self);
  while (WaitForSingleObject(watcher->stop_, 50) == WAIT_TIMEOUT) watcher->Poll();
  watcher->Poll();
  return 0;
}

namespace {

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
  return TRUE;
}

}  // namespace

void BoxWatcher::Poll() {
  std::vector<HWND> windows;
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND hwnd : windows) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    // A dialog is shown once its WM_INITDIALOG has filled it in; before
    // that its text may not be there yet.
    if (pid != pid_ || lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(hwnd)) continue;
    bool seen = false;
    for (HWND h : answered_) seen = seen || h == hwnd;
    if (seen) continue;
    wchar_t text[1024] = {};
    GetDlgItemTextW(hwnd, 0xFFFF, text, 1024);
    EnterCriticalSection(&lock_);
    texts_.push_back(text);
    LeaveCriticalSection(&lock_);
    answered_.push_back(hwnd);
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(answer_, BN_CLICKED), 0);
  }
}

TempDir::TempDir() {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  GUID guid;
  CoCreateGuid(&guid);
  wchar_t name[64];
  swprintf(name, 64, L"pel-e2e-%08lX%04X", guid.Data1, guid.Data2);
  path_ = std::wstring(tmp) + name;
  CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
  std::wstring from = path;
  from.push_back(L'\0');
  from.push_back(L'\0');
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}

std::wstring ReadRegString(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view) {
  HKEY opened;
  if (RegOpenKeyExW(root, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS) return L"<missing>";
  wchar_t buf[2048] = {};
  DWORD size = sizeof(buf) - sizeof(wchar_t);
  const LONG status = RegGetValueW(opened, nullptr, name, RRF_RT_REG_SZ, nullptr, buf, &size);
  RegCloseKey(opened);
  return status == ERROR_SUCCESS ? buf : L"<missing>";
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return in ? out.str() : std::string("<unreadable>");
}

std::vector<std::wstring> Names(const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L"..")) names.push_back(fd.cFileName);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return names;
}

void ListFiles(const std::wstring& dir, const std::wstring& prefix, std::vector<std::wstring>* out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(dir + L"\\" + name, prefix + name + L"\\", out);
    } else {
      out->push_back(prefix + name);
    }
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

std::wstring Folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, 0, path);
  return path;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RunningSetupStandIn::requests_ = 0;

RunningSetupStandIn::RunningSetupStandIn() {
  mutex_ = CreateMutexW(nullptr, TRUE, L"PelorixSetupSingleMutex");
  const bool created = mutex_ && GetLastError() != ERROR_ALREADY_EXISTS;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = &Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"PelorixSetupMainWndClassName";
  RegisterClassW(&wc);
  hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance,
                          nullptr);
  requests_ = 0;
  ok_ = created && hwnd_;
}

RunningSetupStandIn::~RunningSetupStandIn() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (mutex_) CloseHandle(mutex_);
}

int RunningSetupStandIn::Requests() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  return requests_;
}

LRESULT CALLBACK RunningSetupStandIn::Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  if (msg == 0x1400) ++requests_;
  return DefWindowProcW(hwnd, msg, w, l);
}

std::wstring Quote(const std::wstring& s) { return L"\"" + s + L"\""; }

}  // namespace e2e
