#include "webrt_inst/installer_runner.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include "base/scoped_handle.h"
#include "log/logger.h"

namespace webrt {
namespace {

// Both ends are waited for without a time limit: an installer may legitimately
// take long, and StopInst is the way out.
void WaitForProcessOrStop(HANDLE process, HANDLE stop_event) {
  const HANDLE waits[] = {process, stop_event};
  WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

}  // namespace

const wchar_t* InstallerParameters(DWORD method) {
  return method == 0 ? L" /silent /install "
                     : L" --msedgewebview --verbose-logging --do-not-launch-msedge --user-level ";
}

bool RunInstaller(const VerifiedInstaller* installer, const std::wstring& parameters,
                  HANDLE stop_event) {
  if (!installer || parameters.empty()) {
    LOG_INFO << "webview2runtime not found, install fail.";
    return false;
  }
  // Nothing starts after StopInst, even when the download won the race.
  if (stop_event && WaitForSingleObject(stop_event, 0) == WAIT_OBJECT_0) {
    LOG_INFO << "install webview2runtime stopped.";
    return false;
  }
  // The installer holds its file open without write or delete sharing until
  // it is dropped; starting it only needs read sharing (the loader maps the
  // image for reading and execution).
  const std::wstring& path = installer->path();
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  // No error box: the run is silent, and a box nobody sees would block it
  // for good (a download that is not a program, say an error page).
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"runas";
  info.lpFile = path.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_HIDE;
  if (!ShellExecuteExW(&info)) {
    const DWORD error = GetLastError();
    LOG_INFO << "install webview2runtime fail.";
    LOG_DEBUG << "ShellExecuteExW error " << error;
    return false;
  }
  if (info.hProcess) {
    base::ScopedHandle process(info.hProcess);
    WaitInstaller(process.Get(), stop_event);
  }
  LOG_INFO << "install webview2runtime end.";
  return true;
}

void WaitInstaller(HANDLE process, HANDLE stop_event) {
  if (!process || !stop_event) return;
  WaitForProcessOrStop(process, stop_event);

  // A bootstrapper typically hands the work to a child and exits; the install
  // is over only when those children are too.
  const DWORD installer_id = GetProcessId(process);
  base::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ParentProcessID != installer_id || entry.th32ProcessID == installer_id) continue;
    base::ScopedHandle child(OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID));
    if (child.IsValid()) WaitForProcessOrStop(child.Get(), stop_event);
  }
}

}  // namespace webrt
