#include "engine/process_image.h"

#include <psapi.h>
#include <winternl.h>

#include "base/scoped_handle.h"
#include "base/system_library.h"
#include "engine/device_path.h"

namespace engine {
namespace {

constexpr DWORD kMaxProcesses = 2048;
constexpr DWORD kLongPathChars = 1024;

}  // namespace

std::wstring ExpandShortName(const std::wstring& path) {
  if (path.find(L'~') == std::wstring::npos) return path;
  wchar_t buffer[kLongPathChars] = {};
  const DWORD n = GetLongPathNameW(path.c_str(), buffer, kLongPathChars);
  return n >= 1 && n < kLongPathChars ? std::wstring(buffer, n) : path;
}

std::vector<DWORD> RunningProcessIds() {
  std::vector<DWORD> ids(kMaxProcesses);
  DWORD bytes = 0;
  if (!EnumProcesses(ids.data(), kMaxProcesses * sizeof(DWORD), &bytes)) return {};
  ids.resize(bytes / sizeof(DWORD));
  return ids;
}

DWORD ParentProcessId() {
  using QueryFn = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  const auto query = base::GetSystemProcAs<QueryFn>(L"ntdll.dll", "NtQueryInformationProcess");
  PROCESS_BASIC_INFORMATION info = {};
  if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &info, sizeof(info), nullptr) < 0) {
    return 0;
  }
  return static_cast<DWORD>(info.InheritedFromUniqueProcessId);
}

std::wstring ProcessImagePath(DWORD pid) {
  base::ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (!process) return std::wstring();
  wchar_t buffer[kLongPathChars] = {};
  DWORD n = GetModuleFileNameExW(process.Get(), nullptr, buffer, kLongPathChars);
  if (n > 0) return ExpandShortName(std::wstring(buffer, n));
  n = GetProcessImageFileNameW(process.Get(), buffer, kLongPathChars);
  std::wstring drive_path;
  if (n == 0 || !DevicePathToDrivePath(std::wstring(buffer, n), CurrentDriveDevices(), &drive_path)) {
    return std::wstring();
  }
  return drive_path;
}

std::wstring UpperCase(std::wstring text) {
  if (!text.empty()) CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

bool IsInDirectory(const std::wstring& path, const std::wstring& dir) {
  size_t len = dir.size();
  while (len > 0 && (dir[len - 1] == L'\\' || dir[len - 1] == L'/')) --len;
  if (len == 0 || path.size() < len) return false;
  if (UpperCase(path.substr(0, len)) != UpperCase(dir.substr(0, len))) return false;
  return path.size() == len || path[len] == L'\\' || path[len] == L'/';
}

bool EnableDebugPrivilege() {
  base::ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive())) {
    return false;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid)) return false;
  // Succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks the privilege.
  return AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) &&
         GetLastError() == ERROR_SUCCESS;
}

}  // namespace engine
