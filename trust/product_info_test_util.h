// Shared by the product information tests: a throw-away base folder and
// product information files written in their stored (enciphered) form.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "log/log_test_util.h"
#include "trust/product_info_file.h"
#include "trust/string_cipher.h"

namespace product_info_test {

// "<temp>\pelorix_pi_<pid>_<n>\" with a "utils" folder, removed afterwards.
class BaseFolder {
 public:
  BaseFolder() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp) + L"pelorix_pi_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(++counter) + L"\\";
    CreateDirectoryW(path_.c_str(), nullptr);
    CreateDirectoryW((path_ + L"utils").c_str(), nullptr);
  }
  ~BaseFolder() {
    std::wstring from = path_.substr(0, path_.size() - 1);
    from.push_back(L'\0');  // SHFileOperation takes a double-null-ended list
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
  }
  BaseFolder(const BaseFolder&) = delete;
  BaseFolder& operator=(const BaseFolder&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + name; }

 private:
  std::wstring path_;
};

inline bool WriteInfo(const std::wstring& path, const std::string& json) {
  std::string stored;
  return trust::EncipherText(json, trust::kProductInfoKey, &stored) && log_test::WriteRaw(path, stored);
}

inline std::string Info(const std::string& version, const std::string& entries) {
  return "{\"version\":\"" + version + "\",\"info\":[" + entries + "]}";
}

}  // namespace product_info_test
