#include "engine/device_path.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>

#include "engine/process_image.h"

namespace engine {
namespace {

TEST(DevicePath, Table) {
  const std::vector<DriveDevice> drives = {
      {L"C:", L"\\Device\\HarddiskVolume1"},
      {L"D:", L"\\Device\\HarddiskVolume10"},
      {L"E:", L"\\??\\C:\\subst"},
  };
  const struct {
    const wchar_t* path;
    const wchar_t* expected;  // null: no drive matches
  } cases[] = {
      {L"\\Device\\HarddiskVolume1\\App\\x.exe", L"C:\\App\\x.exe"},
      {L"\\Device\\HarddiskVolume10\\a.exe", L"D:\\a.exe"},  // not C: plus "0\a.exe"
      {L"\\device\\harddiskvolume1\\A.exe", L"C:\\A.exe"},
      {L"\\??\\C:\\windows\\x.exe", L"C:\\windows\\x.exe"},
      {L"\\\\?\\D:\\b.exe", L"D:\\b.exe"},
      {L"\\Device\\HarddiskVolume1", nullptr},
      {L"\\Device\\HarddiskVolume2\\a.exe", nullptr},
      {L"\\Device\\Mup\\server\\share\\a.exe", nullptr},
      {L"", nullptr},
  };
  for (const auto& c : cases) {
    std::wstring out = L"untouched";
    const bool mapped = DevicePathToDrivePath(c.path, drives, &out);
    EXPECT_EQ(c.expected != nullptr, mapped) << c.path;
    EXPECT_EQ(c.expected ? c.expected : L"untouched", out) << c.path;
  }
}

// The system's own device name of this program maps back to the path it was
// started from.
TEST(DevicePath, OwnImageMapsBackToItsDrivePath) {
  wchar_t device_form[1024] = {};
  ASSERT_GT(GetProcessImageFileNameW(GetCurrentProcess(), device_form, 1024), 0u);
  wchar_t module[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
  std::wstring mapped;
  ASSERT_TRUE(DevicePathToDrivePath(device_form, CurrentDriveDevices(), &mapped)) << device_form;
  EXPECT_EQ(UpperCase(module), UpperCase(mapped)) << device_form;
}

TEST(ProcessImage, OwnProcess) {
  wchar_t module[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
  EXPECT_EQ(UpperCase(module), UpperCase(ProcessImagePath(GetCurrentProcessId())));
  const std::vector<DWORD> ids = RunningProcessIds();
  EXPECT_NE(ids.end(), std::find(ids.begin(), ids.end(), GetCurrentProcessId()));
}

TEST(ProcessImage, ShortNamesAreExpanded) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring long_name = std::wstring(temp) + L"Pelorix Long Name Test.txt";
  HANDLE file = CreateFileW(long_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  wchar_t short_name[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameW(long_name.c_str(), short_name, MAX_PATH), 0u);
  ASSERT_NE(nullptr, wcschr(short_name, L'~')) << short_name;
  EXPECT_EQ(UpperCase(long_name), UpperCase(ExpandShortName(short_name)));
  EXPECT_EQ(L"C:\\no~such\\file.exe", ExpandShortName(L"C:\\no~such\\file.exe"));  // cannot be expanded
  EXPECT_EQ(L"C:\\plain\\file.exe", ExpandShortName(L"C:\\plain\\file.exe"));
  DeleteFileW(long_name.c_str());
}

TEST(ProcessImage, UpperCase) {
  EXPECT_EQ(L"C:\\PROGRAM FILES\\ÄPFEL", UpperCase(L"c:\\Program Files\\äpfel"));
  EXPECT_EQ(L"", UpperCase(L""));
}

}  // namespace
}  // namespace engine
