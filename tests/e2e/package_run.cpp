#include "tests/e2e/package_run.h"

#include <fstream>

#include "tests/e2e/e2e_util.h"

namespace e2e {

std::wstring PackagePath() { return ThisDir() + L"..\\package\\Install.exe"; }

std::vector<std::wstring> StagingDirs() {
  wchar_t common[MAX_PATH];
  GetEnvironmentVariableW(L"ALLUSERSPROFILE", common, MAX_PATH);
  return Names(std::wstring(common) + L"\\{*}.tmp");
}

std::wstring PendingRenames() {
  HKEY key;
  std::wstring text;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                    &key) != ERROR_SUCCESS) {
    return text;
  }
  DWORD size = 0;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<wchar_t> buf(size / 2 + 1);
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(buf.data()),
                     &size);
    for (wchar_t c : buf) text.push_back(c ? c : L'|');
  }
  RegCloseKey(key);
  return text;
}

// Requests that reached the statistics test server for channel `pid`.
std::vector<std::string> StatRequests(const std::wstring& www, const std::string& pid) {
  const std::wstring path = www + L"\\requests.log";
  std::ifstream in(std::string(path.begin(), path.end()));  // the path is ASCII
  std::vector<std::string> mine;
  for (std::string line; std::getline(in, line);) {
    if (line.find("pid=" + pid + "&") != std::string::npos) mine.push_back(line);
  }
  return mine;
}

bool HasAction(const std::vector<std::string>& lines, const std::string& action, const std::string& more) {
  for (const std::string& line : lines) {
    if (line.find("action=" + action + "&") != std::string::npos && line.find(more) != std::string::npos) return true;
  }
  return false;
}

std::string UniquePid(const char* what) { return std::string(what) + std::to_string(GetTickCount()); }

HANDLE OpenRunningProduct() {
  HWND product = nullptr;
  for (int i = 0; i < 100 && !product; ++i, Sleep(100)) product = FindWindowW(L"PelorixMainWndClassName", nullptr);
  if (!product) return nullptr;
  DWORD pid = 0;
  GetWindowThreadProcessId(product, &pid);
  return OpenProcess(SYNCHRONIZE, FALSE, pid);
}

}  // namespace e2e
