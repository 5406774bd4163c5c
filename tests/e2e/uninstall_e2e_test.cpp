// The sample product's uninstaller end to end, each case in a prefix of its
// own: the prefix is photographed (registry and drive C:), the real package
// installs silently, the uninstall entry's own command line runs with "/S",
// the prefix restarts (wineboot -r replays the pending renames), and the
// prefix must look as before but for what is kept on purpose (kKept).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "package/link_test_util.h"
#include "tests/e2e/e2e_util.h"
#include "tests/e2e/package_run.h"

namespace {

using e2e::Quote;
using e2e::Widen;

// Where the cases install. One has a blank in it, as "Program Files" has:
// the registration writes the uninstaller's path unquoted all the same.
constexpr wchar_t kInstallDir[] = L"C:\\PelorixE2E";
constexpr wchar_t kBlankDir[] = L"C:\\Pelorix E2E";
using e2e::kUninstallKey;
constexpr wchar_t kPendingValue[] = L"\\Control\\Session Manager\\:PendingFileRenameOperations";

// What differs after install, uninstall and restart, and why. Prefixes of
// snapshot entries, compared without case, with environment variables
// expanded.
const struct {
  const wchar_t* prefix;
  const char* reason;
} kKept[] = {
    // Kept on purpose by the uninstaller.
    // The maker's machine identifiers and statistics sampling value ("mid",
    // "m2", "stat_rand"), which its other programs read and write too
    // (telemetry/machine_id.h, mid2.h, statistic_impl.h): removing them
    // would give the machine new identities in every other program.
    {L"HKLM\\Software\\Hubwright\\", "the maker's shared machine identifiers"},
    {L"HKLM64\\Software\\Wow6432Node\\Hubwright\\", "the same, seen from the 64-bit view"},
    // The sample product's records of its launches and of the browser-engine
    // step, outside the install directory: data the product wrote, which an
    // uninstall leaves like the user's own files.
    {L"C:\\ProgramData\\PelorixSample", "data the product wrote outside its folder"},
    // Windows' own, made by the setup's statistics requests through WinINet
    // (as by any program's first request): the user's internet cache and
    // cookie store, and WinINet's proxy setting.
    {L"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCache\\", "Windows' internet cache"},
    {L"%USERPROFILE%\\AppData\\Local\\Microsoft\\Windows\\INetCookies\\", "Windows' cookie store"},
    {L"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\:ProxyEnable",
     "WinINet's proxy setting"},
    // Wine's record of the Unix desktop menu entries it made from the shell
    // links (winemenubuilder): Wine's, with no counterpart on Windows, and
    // not removed by Wine when the links go.
    {L"HKCU\\Software\\Wine\\MenuFiles\\", "Wine's mirror of the links in the Unix menus"},
    // Wine's count of service starts, which every restart changes.
    {L"HKLM\\System\\CurrentControlSet\\Control\\ServiceCurrent\\:", "Wine's service counter"},
    {L"HKLM64\\System\\CurrentControlSet\\Control\\ServiceCurrent\\:", "Wine's service counter"},
};

// Changes of the machine at every boot, whatever ran: not part of a snapshot.
const wchar_t* const kVolatile[] = {
    L"HKLM\\Hardware\\",
    L"HKLM64\\Hardware\\",
};

std::wstring Expanded(const wchar_t* text) {
  wchar_t out[1024] = {};
  ExpandEnvironmentStringsW(text, out, 1024);
  return out;
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  const size_t n = wcslen(prefix);
  return text.size() >= n && CompareStringOrdinal(text.c_str(), static_cast<int>(n), prefix,
                                                  static_cast<int>(n), TRUE) == CSTR_EQUAL;
}

// Everything of the prefix that an uninstall could leave behind, each entry a
// path and a description: keys and values of HKLM and HKEY_USERS read
// through the registry API (the live registry: the files system.reg and
// user.reg are saved by wineserver only from time to time, and the time
// stamps Wine writes there are not part of it), and every folder and file of
// drive C: (size and last write for files; links are listed, never followed).
using Snapshot = std::map<std::wstring, std::string>;

void WalkKey(HKEY key, const std::wstring& path, Snapshot* out, REGSAM view = 0) {
  (*out)[path + L"\\"] = "key";
  DWORD subkeys = 0, max_subkey = 0, values = 0, max_name = 0, max_data = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &max_subkey, nullptr, &values, &max_name,
                       &max_data, nullptr, nullptr) != ERROR_SUCCESS) {
    return;
  }
  std::vector<wchar_t> name(max_name + 2);
  std::vector<BYTE> data(max_data + 2);
  for (DWORD i = 0; i < values; ++i) {
    DWORD name_len = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
    if (RegEnumValueW(key, i, name.data(), &name_len, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) continue;
    std::string text = std::to_string(type) + ":";
    static const char kHex[] = "0123456789abcdef";
    for (DWORD b = 0; b < size; ++b) {
      text += kHex[data[b] >> 4];
      text += kHex[data[b] & 15];
    }
    (*out)[path + L"\\:" + std::wstring(name.data(), name_len)] = text;
  }
  std::vector<wchar_t> sub(max_subkey + 2);
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD len = static_cast<DWORD>(sub.size());
    if (RegEnumKeyExW(key, i, sub.data(), &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) continue;
    const std::wstring child(sub.data(), len);
    HKEY opened;
    if (RegOpenKeyExW(key, child.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) continue;
    WalkKey(opened, path + L"\\" + child, out, view);
    RegCloseKey(opened);
  }
}

void WalkFiles(const std::wstring& dir, Snapshot* out) {
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = dir + L"\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      (*out)[path] = "link";
    } else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*out)[path] = "dir";
      WalkFiles(path, out);
    } else {
      const unsigned long long size = (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      const unsigned long long time =
          (static_cast<unsigned long long>(fd.ftLastWriteTime.dwHighDateTime) << 32) | fd.ftLastWriteTime.dwLowDateTime;
      (*out)[path] = "file " + std::to_string(size) + " " + std::to_string(time);
    }
  } while (FindNextFileW(find, &fd));
  FindClose(find);
}

Snapshot TakeSnapshot() {
  Snapshot snapshot;
  WalkKey(HKEY_LOCAL_MACHINE, L"HKLM", &snapshot);
  // On 64-bit Windows the 64-bit view too, where nothing of the 32-bit
  // product may land.
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) {
    WalkKey(HKEY_LOCAL_MACHINE, L"HKLM64", &snapshot, KEY_WOW64_64KEY);
  }
  WalkKey(HKEY_CURRENT_USER, L"HKCU", &snapshot);
  HKEY default_user;
  if (RegOpenKeyExW(HKEY_USERS, L".Default", 0, KEY_READ, &default_user) == ERROR_SUCCESS) {
    WalkKey(default_user, L"HKU\\.Default", &snapshot);
    RegCloseKey(default_user);
  }
  WalkFiles(L"C:", &snapshot);
  for (auto it = snapshot.begin(); it != snapshot.end();) {
    bool noise = false;
    for (const wchar_t* prefix : kVolatile) noise = noise || StartsWithNoCase(it->first, prefix);
    it = noise ? snapshot.erase(it) : std::next(it);
  }
  return snapshot;
}

bool IsKept(const std::wstring& entry) {
  for (const auto& kept : kKept) {
    if (StartsWithNoCase(entry, Expanded(kept.prefix).c_str())) return true;
  }
  return false;
}

// The entries added ("+"), removed ("-") or changed ("~") from `before` to
// `after`, kept ones left out; `kept` (optional) counts those.
std::vector<std::wstring> Differences(const Snapshot& before, const Snapshot& after, int* kept = nullptr) {
  std::vector<std::wstring> found;
  if (kept) *kept = 0;
  const auto note = [&](wchar_t sign, const std::wstring& entry) {
    if (IsKept(entry)) {
      if (kept) ++*kept;
    } else {
      found.push_back(std::wstring(1, sign) + L" " + entry);
    }
  };
  for (const auto& entry : after) {
    const auto was = before.find(entry.first);
    if (was == before.end()) {
      note(L'+', entry.first);
    } else if (was->second != entry.second) {
      note(L'~', entry.first);
    }
  }
  for (const auto& entry : before) {
    if (!after.count(entry.first)) note(L'-', entry.first);
  }
  return found;
}

std::string Describe(const std::vector<std::wstring>& lines) {
  std::string text;
  for (const auto& line : lines) {
    for (wchar_t c : line) text += c < 128 ? static_cast<char>(c) : '?';
    text += "\n";
  }
  return text;
}

std::wstring UninstallString() {
  wchar_t value[MAX_PATH * 2] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString", RRF_RT_REG_SZ, nullptr, value, &size);
  return value;
}

DWORD Install(const std::wstring& dir, const std::wstring& extra) {
  e2e::BoxWatcher boxes(IDOK);
  const DWORD start = GetTickCount();
  const e2e::RunResult run =
      e2e::Run(Quote(e2e::PackagePath()) + L" --hide_ui /DIR=" + Quote(dir) + L" --pid=" +
                   Widen(e2e::UniquePid("uninst")) + extra,
               240000, [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  EXPECT_TRUE(run.finished && run.exit_code == 0) << "install exit " << run.exit_code;
  printf("silent install: %lu ms\n", GetTickCount() - start);
  return run.exit_code;
}

// Runs the uninstall entry's command line as the program list would, plus
// the silent switch; the exit code.
DWORD UninstallSilently(const std::wstring& dir) {
  const std::wstring command = UninstallString();
  EXPECT_EQ(command, dir + L"\\uninst.exe") << "the registration's UninstallString";
  e2e::BoxWatcher boxes(IDNO);
  const DWORD start = GetTickCount();
  const e2e::RunResult run = e2e::Run(command + L" /S", 60000, [&](DWORD pid) { boxes.Watch(pid); });
  boxes.Stop();
  EXPECT_TRUE(boxes.texts().empty()) << "a silent uninstall asks nothing";
  EXPECT_TRUE(run.finished);
  printf("silent uninstall: %lu ms, exit %lu\n", GetTickCount() - start, run.exit_code);
  return run.exit_code;
}

void Restart() {
  const e2e::RunResult run = e2e::Run(L"wineboot.exe -r", 120000);
  ASSERT_TRUE(run.finished && run.exit_code == 0) << run.output;
}

// The pending rename list's entries that concern the install directory, in
// order ("\??\" and terminators dropped).
std::vector<std::wstring> PendingIn(const std::wstring& dir) {
  std::vector<std::wstring> found;
  const std::wstring text = e2e::PendingRenames();
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t bar = text.find(L'|', pos);
    std::wstring source = text.substr(pos, bar == std::wstring::npos ? std::wstring::npos : bar - pos);
    pos = bar == std::wstring::npos ? text.size() : bar + 1;
    const size_t dest_end = text.find(L'|', pos);  // the destination (empty: delete)
    pos = dest_end == std::wstring::npos ? text.size() : dest_end + 1;
    if (source.compare(0, 4, L"\\??\\") == 0) source = source.substr(4);
    if (StartsWithNoCase(source, dir.c_str())) found.push_back(source.substr(dir.size()));
  }
  return found;
}

void PrintFigures(const char* what, const Snapshot& before, const Snapshot& installed) {
  int kept = 0;
  const std::vector<std::wstring> added = Differences(before, installed, &kept);
  int files = 0, keys = 0, values = 0;
  for (const auto& line : added) {
    if (line.find(L"\\:") != std::wstring::npos) {
      ++values;
    } else if (line.back() == L'\\') {
      ++keys;
    } else {
      ++files;
    }
  }
  printf("%s: %zu entries in the snapshot; the install changed %d folders and files, %d keys, %d values "
         "(+%d kept)\n",
         what, before.size(), files, keys, values, kept);
}

TEST(Uninstall, SilentUninstallAndRestartLeaveThePrefixAsBefore) {
  if (sizeof(void*) == 8) GTEST_SKIP() << e2e::kNeeds32BitView;
  const DWORD start = GetTickCount();
  const Snapshot before = TakeSnapshot();
  printf("snapshot: %lu ms\n", GetTickCount() - start);
  ASSERT_EQ(Install(kBlankDir, L" --nostart"), 0u);
  PrintFigures("install", before, TakeSnapshot());

  // Exactly the registered command line asks first; "No" changes nothing.
  {
    e2e::BoxWatcher boxes(IDNO);
    const e2e::RunResult run = e2e::Run(UninstallString(), 60000, [&](DWORD pid) { boxes.Watch(pid); });
    boxes.Stop();
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 1602u) << "cancelled";
    ASSERT_EQ(boxes.texts().size(), 1u);
    EXPECT_NE(boxes.texts()[0].find(L"Remove Pelorix"), std::wstring::npos);
    EXPECT_TRUE(e2e::FileExists(std::wstring(kBlankDir) + L"\\Nexhub\\pelorix\\pelorix_ui.exe"));
  }

  EXPECT_EQ(UninstallSilently(kBlankDir), 0u);
  // Until the restart only the running uninstaller and its folder are left,
  // both waiting in the pending list, the folder after the file.
  // (The setup's unpacked 7-Zip library waits for the restart as well.)
  std::vector<std::wstring> left;
  for (const std::wstring& line : Differences(before, TakeSnapshot())) {
    const bool setup_library =
        std::regex_match(line, std::wregex(L"\\+ C:\\\\ProgramData\\\\\\{[-0-9A-Fa-f]+\\}\\.lib.*"));
    const bool pending_list = line.size() > wcslen(kPendingValue) &&
                              line.compare(line.size() - wcslen(kPendingValue), std::wstring::npos, kPendingValue) == 0;
    if (!setup_library && !pending_list) left.push_back(line);
  }
  EXPECT_EQ(left, (std::vector<std::wstring>{L"+ C:\\Pelorix E2E", L"+ C:\\Pelorix E2E\\uninst.exe"})) << Describe(left);
  EXPECT_EQ(PendingIn(kBlankDir), (std::vector<std::wstring>{L"\\uninst.exe", L""}));

  Restart();
  left = Differences(before, TakeSnapshot());
  EXPECT_TRUE(left.empty()) << Describe(left);
}

TEST(Uninstall, EndsTheRunningProductAndLeavesWhatIsHeldToTheRestart) {
  if (sizeof(void*) == 8) GTEST_SKIP() << e2e::kNeeds32BitView;
  // A folder of the user's, which a link in the install directory will point at.
  const std::wstring user_folder = L"C:\\UserData";
  ASSERT_TRUE(CreateDirectoryW(user_folder.c_str(), nullptr));
  HANDLE canary = CreateFileW((user_folder + L"\\notes.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(canary, INVALID_HANDLE_VALUE);
  CloseHandle(canary);
  const Snapshot before = TakeSnapshot();
  ASSERT_EQ(Install(kInstallDir, L""), 0u);
  const std::wstring link = std::wstring(kInstallDir) + L"\\Log\\user_link";
  ASSERT_TRUE(link_test::MakeLink(user_folder, link)) << "needs Wine or Windows";
  HANDLE product_process = e2e::OpenRunningProduct();
  ASSERT_NE(product_process, nullptr) << "the install started the product";
  // Held as a virus scanner or an editor would: readers welcome, no deleting.
  const std::wstring held_file = std::wstring(kInstallDir) + L"\\Themes\\Default Blue\\skin.pak";
  HANDLE held = CreateFileW(held_file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  EXPECT_EQ(UninstallSilently(kInstallDir), 3010u) << "files wait for the restart";
  EXPECT_EQ(WaitForSingleObject(product_process, 0), static_cast<DWORD>(WAIT_OBJECT_0)) << "the product was ended";
  CloseHandle(product_process);
  Snapshot under_dir;
  WalkFiles(kInstallDir, &under_dir);
  std::vector<std::wstring> files;
  for (const auto& entry : under_dir) {
    if (entry.second.compare(0, 5, "file ") == 0) files.push_back(entry.first.substr(wcslen(kInstallDir) + 1));
  }
  EXPECT_EQ(files, (std::vector<std::wstring>{L"Themes\\Default Blue\\skin.pak", L"uninst.exe"}));
  EXPECT_TRUE(e2e::FileExists(user_folder + L"\\notes.txt")) << "the link was not followed";
  // Windows removes the link itself; Wine cannot through Win32 (a Unix
  // link), so its folder waits for the restart too.
  std::vector<std::wstring> expected_pending = {L"\\Themes\\Default Blue\\skin.pak", L"\\Themes\\Default Blue",
                                                L"\\Themes", L"\\uninst.exe", L""};
  printf("link after the uninstall: %s\n", link_test::EntryExists(link) ? "left (Wine)" : "removed");
  if (link_test::EntryExists(link)) {
    expected_pending.insert(expected_pending.begin(), L"\\Log");
    link_test::RunUnixTool("rm -f", {link});
    for (int i = 0; i < 50 && link_test::EntryExists(link); ++i) Sleep(100);
  }
  EXPECT_EQ(PendingIn(kInstallDir), expected_pending);
  EXPECT_EQ(UninstallString(), L"") << "the registration is gone already";

  CloseHandle(held);
  Restart();
  const std::vector<std::wstring> left = Differences(before, TakeSnapshot());
  EXPECT_TRUE(left.empty()) << Describe(left);
}

}  // namespace
