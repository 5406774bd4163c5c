#include "webrt_inst/tray_client.h"

#include <windows.h>

#include "log/logger.h"

namespace webrt {

void CTrayClientBase::CloseLog() {
  if (!open_) return;
  open_ = false;
  LogUtils::End();
}

bool CTrayClientBase::OpenLogAt(const std::wstring& path) {
  if (path.empty()) return false;
  DeleteFileW(path.c_str());
  LogUtils::Init(path.c_str(), L"", FALSE, FALSE, 0);
  open_ = true;
  return true;
}

std::wstring TrayClient::LogPath() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  if (n == 0 || n > MAX_PATH) return std::wstring();
  std::wstring path(temp, n);
  if (path.back() != L'\\') path += L'\\';
  return path + L"webview2_inst.log";
}

bool TrayClient::OpenLog() { return OpenLogAt(LogPath()); }

}  // namespace webrt
