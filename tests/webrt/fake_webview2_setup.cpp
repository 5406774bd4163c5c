// A stand-in for a WebView2 runtime installer, served by the tests' HTTP
// server. Its behaviour is a text trailer appended to the file (the loader
// ignores it), so each test publishes its own variant with its own MD5:
//
//   <exe bytes> "#FAKE-WEBVIEW2-SETUP#" "pv=1.2.3;scope=user;sleep=500;child=2000"
//
//   pv      the version it registers ("pv" under the runtime's client key);
//           none: it installs nothing
//   scope   "user": HKCU (64-bit view), else HKLM (32-bit view)
//   sleep   milliseconds it runs before it registers and exits
//   child   it starts a copy of itself and exits at once; the copy runs that
//           many milliseconds, then registers
//
// Every start appends "<role> args=<arguments>" to
// "%TEMP%\fake_webview2_setup.log" and, on the way out, "<role> done".
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr char kMarker[] = "#FAKE-WEBVIEW2-SETUP#";
constexpr wchar_t kClientKey[] =
    L"SOFTWARE\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

std::map<std::string, std::string> ReadConfig() {
  std::map<std::string, std::string> config;
  HANDLE file = CreateFileW(OwnPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return config;
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  const size_t at = bytes.rfind(kMarker);
  if (at == std::string::npos) return config;
  std::string text = bytes.substr(at + sizeof(kMarker) - 1);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    const size_t eq = item.find('=');
    if (eq != std::string::npos) config[item.substr(0, eq)] = item.substr(eq + 1);
    start = end + 1;
  }
  return config;
}

void Record(const std::string& line) {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring path = std::wstring(temp) + L"fake_webview2_setup.log";
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

// The command line after the program name, as the installer was given it.
const wchar_t* Arguments() {
  const wchar_t* p = GetCommandLineW();
  const bool quoted = *p == L'"';
  if (quoted) ++p;
  while (*p && (quoted ? *p != L'"' : *p != L' ')) ++p;
  if (quoted && *p) ++p;
  if (*p == L' ') ++p;  // the separator the starter put after the program name
  return p;
}

void Register(const std::map<std::string, std::string>& config) {
  auto pv = config.find("pv");
  if (pv == config.end()) return;
  const bool user = config.count("scope") && config.at("scope") == "user";
  HKEY key = nullptr;
  if (RegCreateKeyExW(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kClientKey, 0, nullptr, 0,
                      KEY_SET_VALUE | (user ? KEY_WOW64_64KEY : KEY_WOW64_32KEY), nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  std::wstring value(pv->second.begin(), pv->second.end());
  RegSetValueExW(key, L"pv", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

int Number(const std::map<std::string, std::string>& config, const char* name) {
  auto it = config.find(name);
  return it == config.end() ? 0 : atoi(it->second.c_str());
}

}  // namespace

int wmain() {
  const auto config = ReadConfig();
  const std::string args = Narrow(Arguments());
  const bool is_child = args.find("--fake-child") != std::string::npos;
  const std::string role = is_child ? "child" : "installer";
  Record(role + " args=" + args);

  if (!is_child && config.count("child")) {
    std::wstring command = L"\"" + OwnPath() + L"\" --fake-child";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    Record(role + " done");
    return 0;
  }

  Sleep(static_cast<DWORD>(Number(config, is_child ? "child" : "sleep")));
  Register(config);
  Record(role + " done");
  return 0;
}
