// Links for tests that check what the setup does with junctions and
// symbolic links. Wine has no CreateSymbolicLinkW, but shows a Unix symbolic
// link under the prefix as a reparse point, as Windows shows a junction; on
// Windows the system call makes the link.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace link_test {

inline bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name") != nullptr;
}

// The Unix name of a Windows path, through Wine's own export; empty when
// this is not Wine or the path has none.
inline std::string UnixName(const std::wstring& path) {
  using UnixNameFn = char*(CDECL*)(const wchar_t*);
  const auto unix_name = reinterpret_cast<UnixNameFn>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  char* name = unix_name ? unix_name(path.c_str()) : nullptr;
  if (!name) return std::string();
  std::string result(name);
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Runs the Unix tool `command_line` (with its options) on the Unix names of
// `paths`: Wine starts Unix programs too. False when this is not Wine. The
// process handle of a Unix program does not tell when it is done: callers
// look for its effect.
inline bool RunUnixTool(const char* command_line, const std::vector<std::wstring>& paths) {
  std::string command = std::string("Z:\\bin\\") + command_line;
  for (const std::wstring& path : paths) {
    const std::string name = UnixName(path);
    // Wine hands a Unix program its words unquoted: blanks cannot pass.
    if (name.empty() || name.find(' ') != std::string::npos) return false;
    command += " " + name;
  }
  STARTUPINFOA startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return false;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return true;
}

inline bool IsLinkPath(const std::wstring& path) {
  const DWORD attrs = GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Makes `link` a symbolic link to `target` (a file or a directory).
inline bool MakeLink(const std::wstring& target, const std::wstring& link) {
  if (!UnderWine()) {
    const DWORD attrs = GetFileAttributesW(target.c_str());
    const DWORD flags = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)
                            ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) != FALSE;
  }
  if (!RunUnixTool("ln -s", {target, link})) return false;
  for (int i = 0; i < 50; ++i, Sleep(100)) {
    if (IsLinkPath(link)) return true;
  }
  return false;
}

// Whether a directory entry named `path` exists, be it a link that points
// nowhere.
inline bool EntryExists(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

// Removes the link itself. Under Wine the Unix tool does it: Wine's
// RemoveDirectoryW follows a Unix link and removes an empty target instead.
inline bool RemoveLink(const std::wstring& link) {
  if (!EntryExists(link)) return true;
  if (!UnderWine()) {
    return RemoveDirectoryW(link.c_str()) || DeleteFileW(link.c_str());
  }
  if (!RunUnixTool("rm", {link})) return false;
  for (int i = 0; i < 50; ++i, Sleep(100)) {
    if (!EntryExists(link)) return true;
  }
  return false;
}

}  // namespace link_test
