// Shared by the log tests: a temporary log path removed before and after use,
// and reading a log back as its messages without the line headers.
#pragma once

#include <windows.h>

#include <regex>
#include <string>
#include <vector>

#include "base/scoped_handle.h"

namespace log_test {

using Messages = std::vector<std::string>;

inline bool WriteRaw(const std::wstring& path, const std::string& bytes) {
  base::ScopedHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file.IsValid() && WriteFile(file.Get(), bytes.data(), bytes.size(), &written, nullptr);
}

inline std::string ReadBytes(const std::wstring& path) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
  std::string bytes;
  char chunk[65536];
  DWORD read = 0;
  while (file.IsValid() && ReadFile(file.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
    bytes.append(chunk, read);
  }
  return bytes;
}

struct TempLogPath {
  explicit TempLogPath(const wchar_t* tag) {
    wchar_t dir[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, dir);
    path = dir + (L"pelorix_log_" + std::to_wstring(GetCurrentProcessId()) + L"_" + tag + L".log");
    Remove();
  }
  ~TempLogPath() { Remove(); }
  void Remove() const { DeleteFileW(path.c_str()), DeleteFileW((path + L".on").c_str()); }
  bool Exists() const { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  bool SetSwitch(bool on) const {
    return on ? WriteRaw(path + L".on", "") : DeleteFileW((path + L".on").c_str()) != FALSE;
  }
  std::wstring path;
};

// Lines without "\r\n"; a tail without one is a line too, so a torn write shows.
inline Messages ReadLines(const std::wstring& path) {
  const std::string bytes = ReadBytes(path);
  Messages lines;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(bytes.substr(start, end - start));
  }
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

// Each line's text after "MM-DD hh:mm:ss.mmm [pid][tid]" and "[name]" (when
// given); "<bad header>" for a line that does not start so.
inline Messages ReadMessages(const std::wstring& path, const std::string& name = "") {
  const std::regex header(R"(\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[ *\d+\]\[ *\d+\])" +
                          (name.empty() ? "" : "\\[" + name + "\\]") + "(.*)");
  Messages messages;
  std::smatch match;
  for (const std::string& line : ReadLines(path)) {
    messages.push_back(std::regex_match(line, match, header) ? match[1].str() : "<bad header>");
  }
  return messages;
}

}  // namespace log_test
