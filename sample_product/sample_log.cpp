#include "sample_product/sample_log.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace sample {

namespace {

std::string ToUtf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

}  // namespace

bool AppendLogLine(const wchar_t* file_name, const wchar_t* text) {
  wchar_t base[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, TRUE)) return false;
  std::wstring dir = std::wstring(base) + L"\\PelorixSample";
  CreateDirectoryW(dir.c_str(), nullptr);  // an existing folder is fine
  std::wstring path = dir + L"\\" + file_name;

  // Several launches may write at once: FILE_APPEND_DATA makes each write
  // land at the current end, and one WriteFile per line keeps lines whole.
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string line = ToUtf8(text ? text : L"");
  // One line per call, whatever the text holds.
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  line += "\r\n";
  DWORD written = 0;
  BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == line.size();
}

}  // namespace sample
