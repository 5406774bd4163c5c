// The silent setup ended from outside (TerminateProcess, as Task Manager
// does) at points from its start to its exit; the next silent run on the same
// machine must leave exactly what a clean install leaves.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/e2e_util.h"
#include "tests/e2e/package_run.h"

namespace {

using e2e::FileExists;
using e2e::Folder;
using e2e::HasAction;
using e2e::Quote;
using e2e::ReadRegString;
using e2e::Widen;

constexpr wchar_t kInstallDir[] = L"C:\\PelorixKill";
using e2e::kProductKey;
using e2e::kUninstallKey;
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
// Another program's pending renames: a deletion and a replacement.
constexpr wchar_t kForeignRenames[] =
    L"\\??\\C:\\OtherApp\\old.tmp\0\0"
    L"\\??\\C:\\OtherApp\\new.dll\0!\\??\\C:\\OtherApp\\core.dll\0";

std::wstring In(const wchar_t* relative) { return std::wstring(kInstallDir) + L"\\" + relative; }
std::wstring DesktopLink() { return Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Pelorix.lnk"; }
std::wstring MenuFolder() { return Folder(CSIDL_COMMON_PROGRAMS) + L"\\Pelorix"; }

std::vector<std::wstring> Entries(const std::wstring& dir) { return e2e::Names(dir + L"\\*"); }

size_t FileCount(const std::wstring& dir) {
  std::vector<std::wstring> files;
  e2e::ListFiles(dir, L"", &files);
  return files.size();
}

// Product files in the install directory, without the setup's own mark.
size_t Placed() { return FileCount(kInstallDir) - (FileExists(In(L"setup.unfinished")) ? 1 : 0); }

// What a shortcut says, not its bytes: those carry the target's times.
std::wstring LinkText(const std::wstring& path) {
  if (!FileExists(path)) return L"<missing>";
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  std::wstring text = L"<unreadable>";
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
    wchar_t target[MAX_PATH] = {}, args[MAX_PATH] = {}, dir[MAX_PATH] = {}, icon[MAX_PATH] = {};
    int index = -1, show = 0;
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(args, MAX_PATH);
    link->GetWorkingDirectory(dir, MAX_PATH);
    link->GetIconLocation(icon, MAX_PATH, &index);
    link->GetShowCmd(&show);
    text = std::wstring(target) + L"|" + args + L"|" + dir + L"|" + icon + L"," + std::to_wstring(index) + L"|" +
           std::to_wstring(show);
  }
  if (file) file->Release();
  if (link) link->Release();
  return text;
}

std::wstring TempFolder() {
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, path);
  return path;
}

// What a install leaves on the machine, as far as a reinstall must agree.
struct Snapshot {
  std::map<std::wstring, std::string> files;   // below the install directory
  std::map<std::wstring, std::wstring> values;  // registry and link contents
  std::vector<std::wstring> staging;            // "{guid}.tmp" in the common folder
  std::wstring pending;                         // the pending rename list
};

Snapshot Take() {
  Snapshot s;
  std::vector<std::wstring> files;
  e2e::ListFiles(kInstallDir, L"", &files);
  for (const auto& f : files) s.files[f] = e2e::ReadAll(In(f.c_str()));
  for (const wchar_t* v : {L"Setup Path", L"", L"mid"}) {
    s.values[std::wstring(L"product:") + v] = ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, *v ? v : nullptr);
  }
  s.values[L"product:InstallDate set"] =
      ReadRegString(HKEY_LOCAL_MACHINE, kProductKey, L"InstallDate").size() == 19 ? L"yes" : L"no";
  for (const wchar_t* v :
       {L"DisplayIcon", L"DisplayName", L"DisplayVersion", L"InstallLocation", L"Publisher", L"UninstallString"}) {
    s.values[std::wstring(L"uninstall:") + v] = ReadRegString(HKEY_LOCAL_MACHINE, kUninstallKey, v);
  }
  s.values[L"run"] = ReadRegString(HKEY_LOCAL_MACHINE, kRunKey, L"Pelorix");
  for (const std::wstring& link :
       {DesktopLink(), MenuFolder() + L"\\Pelorix.lnk", MenuFolder() + L"\\\u5378\u8F7DPelorix.lnk"}) {
    s.values[link] = LinkText(link);
  }
  s.staging = e2e::StagingDirs();
  s.pending = e2e::PendingRenames();
  return s;
}

// Differences of `now` from the clean install `ref`, one line each.
std::vector<std::string> Compare(const Snapshot& ref, const Snapshot& now, const std::vector<std::wstring>& temp) {
  std::vector<std::string> diffs;
  auto narrow = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };
  for (const auto& f : ref.files) {
    auto it = now.files.find(f.first);
    if (it == now.files.end()) diffs.push_back("missing " + narrow(f.first));
    else if (it->second != f.second) diffs.push_back("differs " + narrow(f.first));
  }
  for (const auto& f : now.files) {
    if (!ref.files.count(f.first)) diffs.push_back("extra " + narrow(f.first));
  }
  for (const auto& v : ref.values) {
    const std::wstring& was = now.values.at(v.first);
    if (was == v.second) continue;
    size_t at = 0;
    while (at < was.size() && at < v.second.size() && was[at] == v.second[at]) ++at;
    diffs.push_back("value " + narrow(v.first) + " from character " + std::to_string(at));
  }
  if (!now.staging.empty()) diffs.push_back("staging left: " + narrow(now.staging[0]));
  // The other program's entries stay first and whole; none of ours names
  // the install directory.
  const std::wstring foreign(kForeignRenames, sizeof(kForeignRenames) / sizeof(wchar_t) - 1);
  std::wstring shown;
  for (wchar_t c : foreign) shown.push_back(c ? c : L'|');
  if (now.pending.compare(0, shown.size(), shown) != 0) diffs.push_back("foreign pending renames changed");
  if (now.pending.find(kInstallDir) != std::wstring::npos) diffs.push_back("pending rename into the install dir");
  // Left in the common folder: only unpacked libraries that wait for the
  // restart, as after any run.
  for (const std::wstring& name : Entries(Folder(CSIDL_COMMON_APPDATA))) {
    const bool ours = name.size() > 4 && name[0] == L'{' &&
                      (name.compare(name.size() - 4, 4, L".lib") == 0 || name.compare(name.size() - 4, 4, L".tmp") == 0);
    if (ours && now.pending.find(name + L"\\7z.dll|") == std::wstring::npos) {
      diffs.push_back("left in the common folder: " + narrow(name));
    }
  }
  if (Entries(TempFolder()) != temp) diffs.push_back("temporary folder changed");
  return diffs;
}

// Back to a machine without the product, as between the cases.
void RemoveProduct() {
  e2e::RemoveTree(kInstallDir);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
  HKEY run;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
    RegDeleteValueW(run, L"Pelorix");
    RegCloseKey(run);
  }
  DeleteFileW(DesktopLink().c_str());
  e2e::RemoveTree(MenuFolder());
}

std::wstring Command(const std::string& pid) {
  return Quote(e2e::PackagePath()) + L" --hide_ui --nostart /DIR=" + kInstallDir + L" --pid=" + Widen(pid);
}

std::vector<std::string> Requests(const std::string& pid) { return e2e::StatRequests(STAT_TEST_WWW, pid); }

// The statistics server holds requests that carry every line of this file.
struct HeldRequest {
  std::wstring path = std::wstring(STAT_TEST_WWW) + L"\\hold";
  HeldRequest(const std::string& pid, const char* action) {
    const std::string text = "pid=" + pid + "&\naction=" + action + "&\n";
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(f);
  }
  ~HeldRequest() { DeleteFileW(path.c_str()); }
};

struct Point {
  const char* name;
  const char* held;  // statistics action to hold, or null
  bool may_miss;     // lasts too briefly to be hit every time
  std::function<bool(const std::string& pid, const std::vector<std::wstring>& staging_before)> reached;
};

bool Value(const wchar_t* key, const wchar_t* name) {
  return ReadRegString(HKEY_LOCAL_MACHINE, key, name) != L"<missing>";
}

// Files in the directories with `suffix` that appeared in the common folder
// since `before` was listed.
size_t NewFiles(const std::vector<std::wstring>& before, const wchar_t* suffix) {
  const std::wstring common = Folder(CSIDL_COMMON_APPDATA);
  size_t count = 0;
  for (const std::wstring& name : Entries(common)) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, suffix) == 0 &&
        std::find(before.begin(), before.end(), name) == before.end()) {
      count += FileCount(common + L"\\" + name);
    }
  }
  return count;
}

std::function<bool(const std::string&, const std::vector<std::wstring>&)> Placed(size_t k) {
  return [k](const std::string&, const std::vector<std::wstring>&) { return Placed() >= k; };
}

TEST(InterruptedInstall, NextRunLeavesWhatACleanInstallLeaves) {
  using Before = std::vector<std::wstring>;
  const Point points[] = {
      {"just started", nullptr, false, [](const std::string&, const Before&) { return true; }},
      {"\"start\" sent", nullptr, false, [](const std::string& pid, const Before&) { return HasAction(Requests(pid), "start"); }},
      {"7-Zip cabinet written", nullptr, false,
       [](const std::string&, const Before& before) { return NewFiles(before, L".tmp") >= 1; }},
      {"7-Zip library unpacked", nullptr, false,
       [](const std::string&, const Before& before) { return NewFiles(before, L".lib") >= 1; }},
      {"5 payload files staged", nullptr, false,
       [](const std::string&, const Before& before) { return NewFiles(before, L".tmp") >= 5; }},
      {"install directory being probed", nullptr, true,
       [](const std::string&, const Before&) { return !e2e::Names(In(L"{*}.tf")).empty(); }},
      {"1 file placed", nullptr, false, Placed(1)},
      {"2 files placed", nullptr, false, Placed(2)},
      {"10 files placed", nullptr, false, Placed(10)},
      {"20 files placed", nullptr, false, Placed(20)},
      {"30 files placed", nullptr, false, Placed(30)},
      {"50 files placed", nullptr, false, Placed(50)},
      {"75 files placed", nullptr, false, Placed(75)},
      {"90 files placed", nullptr, false, Placed(90)},
      {"99 files placed", nullptr, false, Placed(99)},
      {"7-Zip library placed", nullptr, false,
       [](const std::string&, const Before&) { return FileExists(In(L"Utils\\7z.dll")); }},
      {"update configuration rewritten", nullptr, false,
       [](const std::string&, const Before&) {
         wchar_t value[MAX_PATH] = {};
         GetPrivateProfileStringW(L"main", L"path", L"", value, MAX_PATH, In(L"updatecfg.ini").c_str());
         return std::wstring(value) == kInstallDir;
       }},
      {"autorun written", nullptr, false, [](const std::string&, const Before&) { return Value(kRunKey, L"Pelorix"); }},
      {"\"Setup Path\" written", nullptr, false,
       [](const std::string&, const Before&) { return Value(kProductKey, L"Setup Path"); }},
      {"\"InstallDate\" written", nullptr, false,
       [](const std::string&, const Before&) { return Value(kProductKey, L"InstallDate"); }},
      {"\"mid\" written", nullptr, false, [](const std::string&, const Before&) { return Value(kProductKey, L"mid"); }},
      {"desktop shortcut made", nullptr, false, [](const std::string&, const Before&) { return FileExists(DesktopLink()); }},
      {"start-menu shortcut made", nullptr, false,
       [](const std::string&, const Before&) { return FileExists(MenuFolder() + L"\\Pelorix.lnk"); }},
      {"uninstall shortcut made", nullptr, false,
       [](const std::string&, const Before&) { return FileExists(MenuFolder() + L"\\\u5378\u8F7DPelorix.lnk"); }},
      {"\"DisplayIcon\" written", nullptr, false,
       [](const std::string&, const Before&) { return Value(kUninstallKey, L"DisplayIcon"); }},
      {"\"UninstallString\" written", nullptr, false,
       [](const std::string&, const Before&) { return Value(kUninstallKey, L"UninstallString"); }},
      {"\"install_success\" sent, waiting on \"end\"", "end", false,
       [](const std::string& pid, const Before&) { return HasAction(Requests(pid), "end"); }},
      {"\"end\" answered", nullptr, false,
       [](const std::string& pid, const Before&) { return HasAction(Requests(pid), "end"); }},
  };

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // The other program's entries go first, before any run of ours.
  HKEY session;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &session), ERROR_SUCCESS);
  RegSetValueExW(session, L"PendingFileRenameOperations", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kForeignRenames),
                 sizeof(kForeignRenames));
  RegCloseKey(session);
  const std::vector<std::wstring> temp_before = Entries(TempFolder());

  e2e::RunResult clean = e2e::Run(Command(e2e::UniquePid("cleanref")), 120000);
  ASSERT_TRUE(clean.finished);
  const Snapshot reference = Take();
  ASSERT_EQ(reference.files.size(), 101u) << "the sample product and the 7-Zip library";
  ASSERT_TRUE(Compare(reference, reference, temp_before).empty());

  int hit = 0, failed = 0;
  for (const Point& point : points) {
    RemoveProduct();
    const std::string pid = e2e::UniquePid("kill");
    const std::vector<std::wstring> staging_before = Entries(Folder(CSIDL_COMMON_APPDATA));
    bool reached = false;
    {
      std::unique_ptr<HeldRequest> hold(point.held ? new HeldRequest(pid, point.held) : nullptr);
      DWORD process_id = 0;
      HANDLE process = e2e::Launch(Command(pid), &process_id);
      ASSERT_NE(process, nullptr);
      const DWORD start = GetTickCount();
      while (!(reached = point.reached(pid, staging_before)) &&
             WaitForSingleObject(process, 0) == WAIT_TIMEOUT && GetTickCount() - start < 60000) {
      }
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 10000);
      CloseHandle(process);
    }
    e2e::RunResult again = e2e::Run(Command(e2e::UniquePid("again")), 120000);
    std::vector<std::string> diffs = Compare(reference, Take(), temp_before);
    if (!again.finished) diffs.push_back("the next run did not finish");
    hit += reached ? 1 : 0;
    failed += diffs.empty() ? 0 : 1;
    printf("%-44s %s: %s\n", point.name, reached ? "hit   " : "missed",
           diffs.empty() ? "repaired" : diffs[0].c_str());
    for (size_t i = 1; i < diffs.size() && i < 4; ++i) printf("%54s %s\n", "", diffs[i].c_str());
    if (!point.may_miss) {
      EXPECT_TRUE(reached) << point.name;
    }
    EXPECT_TRUE(diffs.empty()) << point.name << ": " << diffs.size() << " differences, first: " << diffs[0];
  }
  printf("kill points: %zu tried, %d hit, %d not repaired\n", sizeof(points) / sizeof(points[0]), hit, failed);
}

}  // namespace
