#include "engine/product_shutdown.h"

#include <functional>

#include "base/scoped_handle.h"
#include "engine/process_image.h"
#include "engine/product_registration.h"

namespace engine {
namespace {

constexpr size_t kMinDirChars = 4;

// Ends every process (but this one and its parent) whose upper-cased program
// path `matches`. Ending the process that runs the setup, or the one waiting
// for it, would cut the install off halfway; they are never candidates.
int EndMatching(const std::function<bool(const std::wstring&)>& matches, int* ended) {
  if (ended) *ended = 0;
  EnableDebugPrivilege();
  const std::vector<DWORD> ids = RunningProcessIds();
  if (ids.empty()) return FALSE;
  const DWORD self = GetCurrentProcessId();
  const DWORD parent = ParentProcessId();
  for (DWORD pid : ids) {
    if (pid == 0 || pid == self || (parent != 0 && pid == parent)) continue;
    const std::wstring image = ProcessImagePath(pid);
    if (image.empty() || !matches(UpperCase(image))) continue;
    base::ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (process && TerminateProcess(process.Get(), 0) && ended) ++*ended;
  }
  return TRUE;
}

}  // namespace

std::vector<std::wstring> WindowClassesToClose(bool no_close_wnd) {
  if (no_close_wnd) return {};
  return {kProductWindowClass, kSiblingWindowClass};
}

bool PostUninstallBroadcast() {
  const UINT message = RegisterWindowMessageW(kUninstallBroadcastName);
  return message != 0 && PostMessageW(HWND_BROADCAST, message, 0, 0);
}

void CloseRunningProduct(const std::vector<std::wstring>& window_classes,
                         const std::wstring& install_dir) {
  PostUninstallBroadcast();
  for (const std::wstring& window_class : window_classes) {
    HWND window = FindWindowW(window_class.c_str(), nullptr);
    if (!window) continue;
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, kCloseTimeoutMs, &answer);
  }
  if (install_dir.size() > kMinDirChars) {
    EndProcessesUnder(install_dir);
    EndProcessByPath(MainProgramPath(install_dir));
  }
}

int EndProcessesUnder(const std::wstring& dir, int* ended) {
  if (ended) *ended = 0;
  if (dir.size() < kMinDirChars || dir.size() > MAX_PATH) return FALSE;
  return EndMatching([&dir](const std::wstring& image) { return IsInDirectory(image, dir); }, ended);
}

int EndProcessByPath(const std::wstring& path, int* ended) {
  if (ended) *ended = 0;
  if (path.size() > MAX_PATH) return FALSE;
  const std::wstring wanted = UpperCase(path);
  return EndMatching([&wanted](const std::wstring& image) { return image == wanted; }, ended);
}

}  // namespace engine
