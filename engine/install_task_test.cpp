// The install task's own operations, apart from the install sequence: the
// registry write the wizard asks for, the directory getters and setters, and
// the start of the product with its signature check (this prefix reports
// Windows 10, where signatures are checked).
#include "engine/install_task.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/registry.h"
#include "package/temp_workspace.h"

namespace {

constexpr wchar_t kTestKey[] = L"SOFTWARE\\PelorixTaskTest";

std::wstring SampleBinary(const wchar_t* folder, const wchar_t* name) {
  return std::wstring(SAMPLE_PRODUCT_DIR) + L"\\" + folder + L"\\" + name;
}

std::string LaunchLog() {
  wchar_t data[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, data);
  std::ifstream in((std::wstring(data) + L"\\PelorixSample\\launches.log").c_str(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(InstallTask, WritesTheWizardsRegistryValue) {
  CInstallTask task;
  base::RegRemoveTree(HKEY_LOCAL_MACHINE, kTestKey);
  EXPECT_EQ(task.WriteRegistryValue({HKEY_LOCAL_MACHINE, kTestKey, L"pid", REG_SZ, L"chan42"}), ERROR_SUCCESS);
  HKEY key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(key, L"pid", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  // Given without its terminator; the registry counts the one that follows.
  EXPECT_LE(size, 7 * sizeof(wchar_t));
  std::wstring pid;
  EXPECT_TRUE(base::RegReadString(HKEY_LOCAL_MACHINE, kTestKey, L"pid", &pid));
  EXPECT_EQ(pid, L"chan42");
  // Without a root or a subkey nothing is written.
  EXPECT_NE(task.WriteRegistryValue({nullptr, kTestKey, L"x", REG_SZ, L"1"}), ERROR_SUCCESS);
  EXPECT_NE(task.WriteRegistryValue({HKEY_LOCAL_MACHINE, L"", L"x", REG_SZ, L"1"}), ERROR_SUCCESS);
  std::wstring value;
  EXPECT_FALSE(base::RegReadString(HKEY_LOCAL_MACHINE, kTestKey, L"x", &value));
  base::RegRemoveTree(HKEY_LOCAL_MACHINE, kTestKey);
}

TEST(InstallTask, InstallDirectoryIsNormalisedAndHandedOutOnlyWhole) {
  CInstallTask task;
  wchar_t out[300] = L"untouched";
  task.GetInstallDir(out, 300);
  EXPECT_STREQ(out, L"untouched") << "nothing set yet";
  EXPECT_EQ(task.SetInstallDir(nullptr), 0);
  EXPECT_EQ(task.SetInstallDir(L"C:/PelorixTaskTest/"), 1);
  EXPECT_EQ(task.install_dir(), L"C:\\PelorixTaskTest");
  task.GetInstallDir(out, 259);
  EXPECT_STREQ(out, L"untouched") << "below 260 characters of room";
  task.GetInstallDir(out, 260);
  EXPECT_STREQ(out, L"C:\\PelorixTaskTest");
  wchar_t small[4] = L"abc";
  task.GetDefaultInstallDir(small, 4);
  EXPECT_STREQ(small, L"") << "a default that does not fit is not cut";
  wchar_t def[MAX_PATH] = {};
  task.GetDefaultInstallDir(def, MAX_PATH);
  EXPECT_NE(std::wstring(def).find(L"\\Pelorix"), std::wstring::npos);
  EXPECT_EQ(task.GetInstallType(), kInstallTypeNew);
  EXPECT_EQ(task.Reserved4(1, 2, 3, 4), 0);
  EXPECT_EQ(task.Reserved8(), 0);
  EXPECT_EQ(task.GetInstallerStatus(), 0);
}

TEST(InstallTask, AnEarlierRegisteredInstallMakesItAnUpdate) {
  std::wstring dir;
  ASSERT_TRUE(package::NewTempPath(&dir));
  ASSERT_TRUE(package::CreateDirectories(dir + L"\\Nexhub\\pelorix", nullptr));
  ASSERT_TRUE(CopyFileW(SampleBinary(L"signed", L"pelorix_ui.exe").c_str(),
                        (dir + L"\\Nexhub\\pelorix\\pelorix_ui.exe").c_str(), FALSE));
  // Where the deliverable, a 32-bit setup, writes the key (also when these
  // tests are built for x86_64).
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Pelorix", L"Setup Path", dir, false,
                                   KEY_WOW64_32KEY));
  {
    CInstallTask task;
    EXPECT_EQ(task.GetInstallType(), kInstallTypeExisting);
    EXPECT_EQ(task.previous_version(), L"1.1026.1135.306");
  }
  base::RegRemoveTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Pelorix", KEY_WOW64_32KEY);
  package::DeleteTree(dir);
}

TEST(InstallTask, LaunchesOnlyAnExistingSignedProgram) {
  std::wstring dir;
  ASSERT_TRUE(package::NewTempPath(&dir));
  ASSERT_TRUE(package::CreateDirectories(dir + L"\\Nexhub\\pelorix", nullptr));
  ASSERT_TRUE(package::CreateDirectories(dir + L"\\unsigned", nullptr));
  ASSERT_TRUE(CopyFileW(SampleBinary(L"signed", L"pelorix_ui.exe").c_str(),
                        (dir + L"\\Nexhub\\pelorix\\pelorix_ui.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(SampleBinary(L"bin", L"pelorix_ui.exe").c_str(), (dir + L"\\unsigned\\pelorix_ui.exe").c_str(),
                        FALSE));
  CInstallTask task;
  task.SetInstallDir(dir.c_str());
  task.LaunchProduct(L"unsigned\\pelorix_ui.exe", L"--marker=unsigned");
  task.LaunchProduct(L"Nexhub\\pelorix\\missing.exe", L"--marker=missing");
  task.LaunchProduct(L"Nexhub\\pelorix\\pelorix_ui.exe", L"--marker=signed");
  std::string log;
  for (int i = 0; i < 100 && log.find("--marker=signed") == std::string::npos; ++i, Sleep(100)) log = LaunchLog();
  EXPECT_NE(log.find("pelorix_ui.exe\" --marker=signed"), std::string::npos) << log;
  Sleep(500);
  log = LaunchLog();
  EXPECT_EQ(log.find("--marker=unsigned"), std::string::npos);
  EXPECT_EQ(log.find("--marker=missing"), std::string::npos);
  if (HWND product = FindWindowW(L"PelorixMainWndClassName", nullptr)) PostMessageW(product, WM_CLOSE, 0, 0);
}

}  // namespace
