// The packaged setup on machines it must refuse: too little disk space, an
// unusable temporary directory, no administrator rights, a damaged 7-Zip
// library, and a replacement resource module given with /DebugFile. Each
// machine is made for real in the test's own prefix (mounts, drive links,
// a restricted token); the test checks the box the user sees, the "fail"
// report, the pause before a silent run ends, and that nothing was installed.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "package/link_test_util.h"
#include "tests/e2e/e2e_util.h"
#include "tests/e2e/package_run.h"
#include "tests/e2e/unix_side.h"

namespace {

using e2e::HasAction;
using e2e::Quote;
using e2e::Sh;
using e2e::UndoOnExit;

constexpr wchar_t kInstallDir[] = L"C:\\PelorixEnvE2E";
constexpr wchar_t kLibraryFailed[] = L"安装出错,请重新下载安装程序进行安装";
// Well below the test's own limit; a refused run ends within seconds.
constexpr DWORD kRunTimeoutMs = 60000;

using e2e::Widen;

// The statistics log read through Y:, a second link to the Unix root that
// Wine's drive list does not show: the disk-space case takes Z: away.
std::wstring LogRoot() {
  std::wstring www = STAT_TEST_WWW;
  www[0] = L'Y';
  return www;
}

std::vector<std::string> Requests(const std::string& pid) { return e2e::StatRequests(LogRoot(), pid); }

// The errcode of the "fail" report, which ends its request; "" without one.
std::string FailCode(const std::vector<std::string>& requests) {
  const std::string key = "&ex_ary[errcode]=";
  for (const std::string& line : requests) {
    const size_t at = line.find(key);
    if (line.find("action=fail&") != std::string::npos && at != std::string::npos) return line.substr(at + key.size());
  }
  return "";
}

// The fixed file version "a.b.c.d" of `path`, read the documented way;
// empty when it has none.
std::string FileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  if (info.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) ||
      !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len)) {
    return "";
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

bool IsWindows7OrOlder() {
  using Fn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  auto get = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetNtVersionNumbers")));
  DWORD major = 0, minor = 0, build = 0;
  if (get) get(&major, &minor, &build);
  return major < 6 || (major == 6 && minor <= 1);
}

bool KeyExists(const wchar_t* key) {
  HKEY opened;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

// TEMP and TMP for the setup started next; the old values come back after.
class ScopedTemp {
 public:
  explicit ScopedTemp(const std::wstring& dir) {
    for (int i = 0; i < 2; ++i) {
      wchar_t old[MAX_PATH] = {};
      had_[i] = GetEnvironmentVariableW(kNames[i], old, MAX_PATH) != 0;
      old_[i] = old;
      if (!dir.empty()) SetEnvironmentVariableW(kNames[i], dir.c_str());
    }
  }
  ~ScopedTemp() {
    for (int i = 0; i < 2; ++i) SetEnvironmentVariableW(kNames[i], had_[i] ? old_[i].c_str() : nullptr);
  }

 private:
  static constexpr const wchar_t* kNames[2] = {L"TMP", L"TEMP"};
  bool had_[2] = {};
  std::wstring old_[2];
};

// The caller's token with Administrators kept for deny only, as User Account
// Control filters it: the setup started with it is not an administrator.
HANDLE FilteredToken() {
  HANDLE own = nullptr, filtered = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &own)) return nullptr;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                               &admins)) {
    SID_AND_ATTRIBUTES deny = {admins, 0};
    if (!CreateRestrictedToken(own, 0, 1, &deny, 0, nullptr, 0, nullptr, &filtered)) filtered = nullptr;
    FreeSid(admins);
  }
  CloseHandle(own);
  return filtered;
}

struct Outcome {
  bool finished = false;
  std::vector<std::wstring> boxes;
  std::vector<std::string> requests;
  // From the moment "fail" reached the server to the end of the process;
  // -1 when "fail" was not seen while the setup ran.
  long after_fail_ms = -1;
};

// Runs `setup` with `args` (with `token` when given), answers its boxes with
// OK and watches the statistics server for "fail" while it runs.
Outcome RunSetup(const std::wstring& setup, const std::wstring& args, HANDLE token = nullptr) {
  Outcome out;
  const std::string pid = e2e::UniquePid("env");
  std::wstring cmd = Quote(setup) + L" /DIR=" + kInstallDir + L" --pid=" + Widen(pid) + L" " + args;
  STARTUPINFOW si = {sizeof(si)};
  PROCESS_INFORMATION pi = {};
  const BOOL started =
      token ? CreateProcessAsUserW(token, nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)
            : CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  if (!started) return out;
  CloseHandle(pi.hThread);
  e2e::BoxWatcher watcher(IDOK);
  watcher.Watch(pi.dwProcessId);
  const DWORD begin = GetTickCount();
  DWORD fail_seen = 0;
  while (WaitForSingleObject(pi.hProcess, 50) == WAIT_TIMEOUT) {
    if (!fail_seen && HasAction(Requests(pid), "fail")) fail_seen = GetTickCount();
    if (GetTickCount() - begin > kRunTimeoutMs) {
      TerminateProcess(pi.hProcess, 255);
      WaitForSingleObject(pi.hProcess, 5000);
      break;
    }
  }
  out.finished = GetTickCount() - begin <= kRunTimeoutMs;
  if (fail_seen) out.after_fail_ms = static_cast<long>(GetTickCount() - fail_seen);
  CloseHandle(pi.hProcess);
  watcher.Stop();
  out.boxes = watcher.texts();
  out.requests = Requests(pid);
  return out;
}

// The package copied onto C:, where it stays reachable while the machine is
// altered (the disk-space case takes Z: away).
struct PackageCopy {
  e2e::TempDir dir;
  std::wstring path = dir.File(L"Install.exe");
  PackageCopy() { CopyFileW(e2e::PackagePath().c_str(), path.c_str(), FALSE); }
};

void ExpectNothingInstalled(const std::string& what) {
  EXPECT_FALSE(e2e::FileExists(kInstallDir)) << what;
  EXPECT_FALSE(KeyExists(L"SOFTWARE\\Pelorix")) << what;
  EXPECT_FALSE(KeyExists(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelorix")) << what;
  EXPECT_TRUE(e2e::StagingDirs().empty()) << what;
}

// A run that the environment step refuses: the box (none when silent), "fail"
// with its code, a 3 s pause after it when silent, and nothing installed.
void ExpectRefused(const std::wstring& setup, HANDLE token, int code, const wchar_t* message, const std::string& what) {
  for (bool silent : {false, true}) {
    const std::string label = what + (silent ? " (silent)" : "");
    const Outcome r = RunSetup(setup, silent ? L"--hide_ui" : L"", token);
    ASSERT_TRUE(r.finished) << label;
    EXPECT_EQ(r.boxes, silent ? std::vector<std::wstring>{} : std::vector<std::wstring>{message}) << label;
    EXPECT_TRUE(HasAction(r.requests, "start")) << label;
    EXPECT_EQ(FailCode(r.requests), std::to_string(code)) << label;
    EXPECT_FALSE(HasAction(r.requests, "end")) << label;
    // Interactive, the box holds the run until it is answered; only the
    // silent run shows the pause itself. "fail" is sent on its own thread
    // and may reach the server a little after the pause began; without the
    // pause the run ends within milliseconds of it.
    if (silent) {
      printf("%s: %ld ms from \"fail\" to the end\n", label.c_str(), r.after_fail_ms);
      EXPECT_GE(r.after_fail_ms, 2500) << label;
    }
    ExpectNothingInstalled(label);
  }
}

class SetupEnvironment : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Sh(L"ln -sfn / $WINEPREFIX/dosdevices/y:")); }
  void TearDown() override { Sh(L"rm -f $WINEPREFIX/dosdevices/y:"); }
};

TEST_F(SetupEnvironment, NoFixedDriveWithSpaceIsRefusedWithCode1) {
  PackageCopy package;
  // C: becomes an overlay whose writable layer is a 100 MiB tmpfs (an
  // overlay reports the free space of that layer), and Z: goes away.
  UndoOnExit undo(
      L"m=$WINEPREFIX/envtest-c; ln -sfn ../drive_c $WINEPREFIX/dosdevices/c:; ln -sfn / $WINEPREFIX/dosdevices/z:;"
      L" umount -l $m/root; umount -l $m/fs; rm -rf $m");
  ASSERT_TRUE(
      Sh(L"set -e; m=$WINEPREFIX/envtest-c; mkdir -p $m/fs $m/root; mount -t tmpfs -o size=100m tmpfs $m/fs;"
         L" mkdir $m/fs/u $m/fs/w;"
         L" mount -t overlay overlay -o lowerdir=$WINEPREFIX/drive_c,upperdir=$m/fs/u,workdir=$m/fs/w $m/root;"
         L" ln -sfn $m/root $WINEPREFIX/dosdevices/c:; rm -f $WINEPREFIX/dosdevices/z:"))
      << "mounting needs root";
  ULARGE_INTEGER caller{}, total{}, free_c{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &caller, &total, &free_c));
  ASSERT_LE(free_c.QuadPart, 100ULL << 20) << "C: was made small";
  ASSERT_NE(GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_FIXED)) << "Z: was taken away";
  ExpectRefused(package.path, nullptr, 1, L"没有可用的磁盘空间，无法继续安装", "no disk space");
}

TEST_F(SetupEnvironment, UnusableTemporaryDirectoryIsRefusedWithCode2) {
  PackageCopy package;
  const struct {
    const char* what;
    const wchar_t* temp;
  } cases[] = {
      {"on a drive that does not exist", L"Q:\\missing\\temp"},
      {"below a file", L"C:\\windows\\win.ini\\temp"},
      {"on a UNC path", L"\\\\127.0.0.1\\share\\temp"},
  };
  for (const auto& c : cases) {
    ScopedTemp temp(c.temp);
    ExpectRefused(package.path, nullptr, 2, L"系统临时目录不可写，无法继续安装", c.what);
  }
}

TEST_F(SetupEnvironment, TemporaryDirectoryOnASmallDriveIsRefusedWithCode3) {
  PackageCopy package;
  UndoOnExit undo(L"m=$WINEPREFIX/envtest-d; rm -f $WINEPREFIX/dosdevices/d:; umount -l $m; rmdir $m");
  ASSERT_TRUE(
      Sh(L"set -e; m=$WINEPREFIX/envtest-d; mkdir -p $m; mount -t tmpfs -o size=1m tmpfs $m;"
         L" ln -sfn $m $WINEPREFIX/dosdevices/d:"))
      << "mounting needs root";
  // Writable, so the write probe passes; 1 MiB is below the 10 MiB needed.
  ScopedTemp temp(L"D:\\");
  ExpectRefused(package.path, nullptr, 3, L"系统临时目录空间太小，无法继续安装", "1 MiB temporary drive");
}

TEST_F(SetupEnvironment, FilteredTokenIsRefusedWithCode4) {
  PackageCopy package;
  HANDLE token = FilteredToken();
  ASSERT_NE(token, nullptr);
  ExpectRefused(package.path, token, 4, L"请以管理员权限重新运行安装程序", "filtered token");
  CloseHandle(token);
}

// Flips one byte of the file at `offset`; false when it does not hold
// `expected` there (when given) or cannot be written.
bool FlipByte(const std::wstring& path, LONG offset, int expected = -1) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  BYTE b = 0;
  DWORD n = 0;
  SetFilePointer(f, offset, nullptr, FILE_BEGIN);
  bool ok = ReadFile(f, &b, 1, &n, nullptr) && n == 1 && (expected < 0 || b == expected);
  b ^= 0x5A;
  SetFilePointer(f, offset, nullptr, FILE_BEGIN);
  ok = ok && WriteFile(f, &b, 1, &n, nullptr) && n == 1;
  CloseHandle(f);
  return ok;
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found) {
  *reinterpret_cast<WORD*>(found) = language;
  return FALSE;
}

// The 7-Zip library's cabinet resource in a package file.
struct LibraryResource {
  LONG offset = -1;  // in the file
  DWORD size = 0;
  WORD language = 0;
  int middle_byte = -1;
};

LibraryResource FindLibraryResource(const std::wstring& path) {
  LibraryResource found;
  // Resource data of a module mapped as a data file lies at its file offset.
  HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) return found;
  EnumResourceLanguagesW(image, L"DLL_7Z", MAKEINTRESOURCEW(203), &FirstLanguage,
                         reinterpret_cast<LONG_PTR>(&found.language));
  if (HRSRC res = FindResourceExW(image, L"DLL_7Z", MAKEINTRESOURCEW(203), found.language)) {
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(image, res)));
    const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR{3});
    found.size = SizeofResource(image, res);
    found.offset = static_cast<LONG>(data - base);
    found.middle_byte = data[found.size / 2];
  }
  FreeLibrary(image);
  return found;
}

// One byte of the compressed cabinet altered.
bool DamageCabinet(const std::wstring& package) {
  const LibraryResource res = FindLibraryResource(package);
  return res.offset > 0 && FlipByte(package, res.offset + static_cast<LONG>(res.size / 2), res.middle_byte);
}

// An intact cabinet whose library was altered after it was signed.
bool CarryAlteredLibrary(const std::wstring& package) {
  e2e::TempDir dir;
  const std::wstring dll = dir.File(L"7z.dll");
  if (!CopyFileW(SIGNED_7Z_DLL, dll.c_str(), FALSE)) return false;
  WIN32_FILE_ATTRIBUTE_DATA attributes = {};
  GetFileAttributesExW(dll.c_str(), GetFileExInfoStandard, &attributes);
  if (!FlipByte(dll, static_cast<LONG>(attributes.nFileSizeLow / 2))) return false;
  // gcab made the genuine cabinet too.
  if (!Sh(L"cd " + Widen(link_test::UnixName(dir.path())) + L" && gcab --create --zip --nopath dll_7z.cab 7z.dll")) return false;
  HANDLE f =
      CreateFileW(dir.File(L"dll_7z.cab").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  std::vector<BYTE> cab(GetFileSize(f, nullptr));
  DWORD n = 0;
  const bool read = ReadFile(f, cab.data(), static_cast<DWORD>(cab.size()), &n, nullptr) && n == cab.size();
  CloseHandle(f);
  const WORD language = FindLibraryResource(package).language;
  HANDLE update = BeginUpdateResourceW(package.c_str(), FALSE);
  if (!read || !update) return false;
  const bool replaced =
      UpdateResourceW(update, L"DLL_7Z", MAKEINTRESOURCEW(203), language, cab.data(), static_cast<DWORD>(cab.size()));
  return EndUpdateResourceW(update, !replaced) && replaced;
}

// The 7-Zip library travels as a cabinet resource and is checked before it
// is loaded: a damaged cabinet or an altered library ends the run.
TEST_F(SetupEnvironment, DamagedLibraryEndsTheRunWithCode5) {
  const struct {
    const char* what;
    bool (*damage)(const std::wstring& package);
    bool found_by_signature;  // Windows 7 lets every signature through
  } cases[] = {
      {"damaged cabinet", &DamageCabinet, false},
      {"library altered after signing", &CarryAlteredLibrary, true},
  };
  for (const auto& c : cases) {
    if (c.found_by_signature && IsWindows7OrOlder()) continue;
    PackageCopy package;
    ASSERT_TRUE(c.damage(package.path)) << c.what;
    ExpectRefused(package.path, nullptr, 5, kLibraryFailed, c.what);
  }
}

// An existing module named by /DebugFile replaces the setup's resources and
// its version is reported; a path that names nothing is ignored.
TEST_F(SetupEnvironment, DebugFileModuleReplacesTheResources) {
  PackageCopy package;
  const std::string own_version = FileVersion(package.path);
  const std::wstring module = SIGNED_7Z_DLL;
  const std::string module_version = FileVersion(module);
  ASSERT_NE(module_version, own_version) << "the case needs a module of another version";
  // The module carries no 7-Zip library resource, so the run ends there.
  const Outcome r = RunSetup(package.path, L"/DebugFile=" + Quote(module));
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.boxes, std::vector<std::wstring>{kLibraryFailed});
  EXPECT_EQ(FailCode(r.requests), "5");
  for (const char* action : {"start", "fail"}) {
    EXPECT_TRUE(HasAction(r.requests, action, "&appver=" + module_version + "&")) << action;
  }
  ExpectNothingInstalled("resource module");

  // Ended early by its temporary directory, before any install could start.
  ScopedTemp bad_temp(L"Q:\\missing");
  const Outcome missing = RunSetup(package.path, L"--hide_ui /DebugFile=C:\\missing\\module.dll");
  EXPECT_TRUE(HasAction(missing.requests, "start", "&appver=" + own_version + "&"));
  EXPECT_EQ(FailCode(missing.requests), "2");
}

// A module without an accepted signature ends the run without a word. Up to
// Windows 7 every file passes the signature check, so there the stand-in is
// loaded (and refuses in its DllMain, which ends the run the same way);
// later it is never loaded at all.
TEST_F(SetupEnvironment, UnsignedDebugFileEndsTheRunSilently) {
  PackageCopy package;
  const std::wstring module = package.dir.File(L"canary.dll");
  ASSERT_TRUE(CopyFileW(e2e::BuiltFile(L"canary.dll").c_str(), module.c_str(), FALSE));
  const Outcome r = RunSetup(package.path, L"/DebugFile=" + Quote(module));
  ASSERT_TRUE(r.finished);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_TRUE(HasAction(r.requests, "start"));
  EXPECT_EQ(FailCode(r.requests), "");
  EXPECT_EQ(e2e::FileExists(module + L".loaded"), IsWindows7OrOlder());
  ExpectNothingInstalled("unsigned module");
}

}  // namespace
