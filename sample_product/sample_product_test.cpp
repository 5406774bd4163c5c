// Runs the built sample product under Wine and checks the behaviour the
// setup's tests rely on: the launch log, the window class, both ways of
// closing it, Lumbrel's "Start", and the uninstaller's command line, list and
// refusal outside an install (its whole run: tests/e2e/uninstall_e2e_test.cpp).
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sample_product/uninstall.h"

namespace {

// SAMPLE_SIGNED_DIR is the Unix path of the signed binaries; Wine shows the
// Unix root as drive Z:.
std::wstring SignedFile(const wchar_t* name) {
  std::wstring path = L"Z:" SAMPLE_SIGNED_DIR_W L"\\";
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path + name;
}

std::wstring LogPath(const wchar_t* name) {
  wchar_t base[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_APPDATA, TRUE);
  return std::wstring(base) + L"\\PelorixSample\\" + name;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Launched {
  PROCESS_INFORMATION pi = {};
  ~Launched() {
    if (pi.hProcess) {
      if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
      CloseHandle(pi.hProcess);
      CloseHandle(pi.hThread);
    }
  }
};

bool Launch(const std::wstring& command_line, Launched* out) {
  std::wstring mutable_line = command_line;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  return CreateProcessW(nullptr, &mutable_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &out->pi) != FALSE;
}

HWND WaitForMainWindow(DWORD pid) {
  for (int i = 0; i < 200; ++i) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"PelorixMainWndClassName", nullptr))) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == pid) return window;
    }
    Sleep(50);
  }
  return nullptr;
}

class SampleProductTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileW(LogPath(L"launches.log").c_str());
    DeleteFileW(LogPath(L"lumbrel.log").c_str());
  }
};

TEST_F(SampleProductTest, LaunchIsLoggedAndBroadcastClosesTheWindow) {
  std::wstring exe = SignedFile(L"pelorix_ui.exe");
  std::wstring line = L"\"" + exe + L"\" --from=setup \x4E2D\x6587";
  Launched app;
  ASSERT_TRUE(Launch(line, &app)) << GetLastError();
  ASSERT_NE(WaitForMainWindow(app.pi.dwProcessId), nullptr);

  // The command line, as UTF-8, on one line.
  std::string exe_utf8(exe.begin(), exe.end());  // the path is ASCII
  EXPECT_EQ(ReadFile(LogPath(L"launches.log")),
            "\"" + exe_utf8 + "\" --from=setup \xE4\xB8\xAD\xE6\x96\x87\r\n");

  UINT broadcast = RegisterWindowMessageW(L"PelorixUninstBroadcast");
  ASSERT_NE(broadcast, 0u);
  PostMessageW(HWND_BROADCAST, broadcast, 0, 0);
  EXPECT_EQ(WaitForSingleObject(app.pi.hProcess, 5000), WAIT_OBJECT_0);
}

TEST_F(SampleProductTest, WmCloseClosesTheWindowAndLaunchesAppend) {
  std::wstring exe = L"\"" + SignedFile(L"pelorix_ui.exe") + L"\"";
  for (int i = 0; i < 2; ++i) {
    Launched app;
    ASSERT_TRUE(Launch(exe + L" --run=" + std::to_wstring(i), &app));
    HWND window = WaitForMainWindow(app.pi.dwProcessId);
    ASSERT_NE(window, nullptr);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 3000, &answer);
    EXPECT_EQ(WaitForSingleObject(app.pi.hProcess, 5000), WAIT_OBJECT_0);
  }
  std::string log = ReadFile(LogPath(L"launches.log"));
  EXPECT_NE(log.find(" --run=0\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" --run=1\r\n"), std::string::npos) << log;
  EXPECT_LT(log.find(" --run=0"), log.find(" --run=1"));
}

TEST_F(SampleProductTest, LumbrelStartAppendsItsArgument) {
  HMODULE lumbrel = LoadLibraryW(SignedFile(L"Lumbrel.dll").c_str());
  ASSERT_NE(lumbrel, nullptr) << GetLastError();
  using StartFn = int(WINAPI*)(const wchar_t*);
  auto start = reinterpret_cast<StartFn>(GetProcAddress(lumbrel, "Start"));
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(start(L"3.3497.1841.0"), 0);
  EXPECT_EQ(start(L"second"), 0);
  FreeLibrary(lumbrel);
  EXPECT_EQ(ReadFile(LogPath(L"lumbrel.log")), "3.3497.1841.0\r\nsecond\r\n");
}

// The uninstaller outside an install (here the build's signed folder, which
// holds no Nexhub\pelorix\pelorix_ui.exe, in a prefix without the product
// key) refuses without touching anything, silent or not.
TEST_F(SampleProductTest, UninstallerRefusesAFolderWithoutTheProduct) {
  Launched app;
  ASSERT_TRUE(Launch(L"\"" + SignedFile(L"uninst.exe") + L"\" /S", &app));
  ASSERT_EQ(WaitForSingleObject(app.pi.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(app.pi.hProcess, &code);
  EXPECT_EQ(code, sample::kUninstallNotInstalled);
  EXPECT_NE(GetFileAttributesW(SignedFile(L"uninst.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

// "UninstallString" is the path alone, unquoted even with blanks in it.
TEST(UninstallCommandLine, ArgumentsFollowTheProgramQuotedOrNot) {
  const std::wstring program = L"C:\\Program Files\\Pelorix\\uninst.exe";
  const struct {
    const wchar_t* command_line;
    const wchar_t* arguments;
  } kCases[] = {
      {L"C:\\Program Files\\Pelorix\\uninst.exe", L""},
      {L"C:\\Program Files\\Pelorix\\uninst.exe /S", L"/S"},
      {L"\"C:\\Program Files\\Pelorix\\uninst.exe\" /S", L"/S"},
      {L"  c:\\program files\\pelorix\\UNINST.EXE\t--S", L"--S"},
      {L"\"C:\\Program Files\\Pelorix\\uninst.exe\"", L""},
      {L"\"C:\\PROGRA~1\\Pelorix\\uninst.exe\" -S", L"-S"},  // another spelling: first token
      {L"uninst.exe /S", L"/S"},
      {L"C:\\Program Files\\Pelorix\\uninst.exex /S", L"Files\\Pelorix\\uninst.exex /S"},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(sample::ArgumentsAfterProgram(c.command_line, program), c.arguments) << c.command_line;
  }
}

// The registration is removed only for the install it names; another
// folder is an install only with the product's main program in it.
TEST(UninstallRegistration, BelongsToTheFolderTheProductKeyNames) {
  const wchar_t* key = L"SOFTWARE\\Pelorix";
  const std::wstring dir = L"C:\\Pelorix Here";
  EXPECT_TRUE(sample::RegisteredHere(dir)) << "no product key: nobody else's";
  EXPECT_FALSE(sample::IsInstallDir(dir));
  // Where the deliverable, a 32-bit setup, writes the key (also when these
  // tests are built for x86_64).
  HKEY opened;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                            &opened, nullptr),
            ERROR_SUCCESS);
  const auto set = [&](const std::wstring& value) {
    RegSetValueExW(opened, L"Setup Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  };
  set(L"c:\\pelorix here\\");
  EXPECT_TRUE(sample::RegisteredHere(dir));
  EXPECT_TRUE(sample::IsInstallDir(dir));
  set(L"D:\\Pelorix");
  EXPECT_FALSE(sample::RegisteredHere(dir));
  EXPECT_FALSE(sample::IsInstallDir(dir));
  RegCloseKey(opened);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
}

TEST(UninstallRootList, ParsesTheListThePackageCarries) {
  const std::wstring xml =
      L"<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n<RootDirFiles>\r\n  <Dir>\r\n"
      L"    <Item Name=\"game\" />\r\n    <Item Name=\"Themes &amp; Skins\" />\r\n  </Dir>\r\n"
      L"  <File>\r\n    <Item Name='it&apos;s.txt' />\r\n    <Item Name=\"caf&#233;.ini\" />\r\n"
      L"    <Item Name=\"\u5378\u8F7D.dat\" />\r\n  </File>\r\n</RootDirFiles>\r\n";
  sample::RootList list;
  ASSERT_TRUE(sample::ParseRootList(xml, &list));
  EXPECT_EQ(list.dirs, (std::vector<std::wstring>{L"game", L"Themes & Skins"}));
  EXPECT_EQ(list.files, (std::vector<std::wstring>{L"it's.txt", L"caf\u00e9.ini", L"\u5378\u8F7D.dat"}));
}

TEST(UninstallRootList, RefusesNamesThatReachOutOfTheInstallRoot) {
  for (const wchar_t* name : {L"..", L".", L"", L"..\\Windows", L"a/b", L"C:x", L"Log.", L"Log ", L"&#92;x",
                              L"&bogus;", L"a*"}) {
    const std::wstring xml = std::wstring(L"<RootDirFiles><Dir><Item Name=\"") + name +
                             L"\" /></Dir><File></File></RootDirFiles>";
    sample::RootList list;
    EXPECT_FALSE(sample::ParseRootList(xml, &list)) << name;
  }
  sample::RootList list;
  EXPECT_FALSE(sample::ParseRootList(L"<RootDirFiles><Dir></Dir></RootDirFiles>", &list)) << "no <File>";
}

}  // namespace
