#include "engine/product_registration.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <string>

#include "base/file_version.h"
#include "base/os_version.h"
#include "base/registry.h"
#include "base/scoped_handle.h"
#include "engine/placement_test_support.h"

namespace engine {
namespace {

using testing_support::ScopedTempDir;
using testing_support::WriteText;

constexpr wchar_t kMidCacheKey[] = L"Software\\Hubwright";

struct RawValue {
  bool present = false;
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  std::wstring text;
};

// A value as stored, so that the type and the stored length are checked too.
RawValue ReadRaw(const wchar_t* subkey, const wchar_t* name, REGSAM view = 0) {
  RawValue v;
  base::ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE | view, key.Receive()) !=
      ERROR_SUCCESS) {
    return v;
  }
  BYTE data[4096] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  if (RegQueryValueExW(key.Get(), name, nullptr, &v.type, data, &size) != ERROR_SUCCESS) return v;
  v.present = true;
  v.bytes = size;
  v.text.assign(reinterpret_cast<const wchar_t*>(data), size / sizeof(wchar_t));
  // The length is given without the terminator, but the registry itself
  // counts a terminator that follows the data (Windows and Wine alike).
  if (!v.text.empty() && v.text.back() == L'\0') v.text.pop_back();
  return v;
}

bool KeyExists(const wchar_t* subkey, REGSAM view) {
  base::ScopedRegKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE | view, key.Receive()) ==
         ERROR_SUCCESS;
}

SYSTEMTIME Time(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
  SYSTEMTIME t{};
  t.wYear = y;
  t.wMonth = mo;
  t.wDay = d;
  t.wHour = h;
  t.wMinute = mi;
  t.wSecond = s;
  return t;
}

// Expects a REG_SZ holding `expected`.
void ExpectString(const wchar_t* key, const wchar_t* name, const std::wstring& expected) {
  const RawValue v = ReadRaw(key, name);
  ASSERT_TRUE(v.present) << (name ? name : L"(default)");
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type) << (name ? name : L"(default)");
  EXPECT_EQ(expected, v.text);
  EXPECT_LE(v.bytes, (expected.size() + 1) * sizeof(wchar_t));
}

TEST(RegistrationFormat, InstallDate) {
  const struct {
    SYSTEMTIME time;
    const wchar_t* expected;
  } cases[] = {
      {Time(2026, 1, 2, 3, 4, 5), L"2026-01-02 03:04:05"},
      {Time(1999, 12, 31, 23, 59, 59), L"1999-12-31 23:59:59"},
      {Time(2030, 10, 10, 0, 0, 0), L"2030-10-10 00:00:00"},
      {Time(987, 7, 8, 9, 10, 11), L"0987-07-08 09:10:11"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, FormatInstallDate(c.time));
}

TEST(RegistrationFormat, JoinPath) {
  const struct {
    const wchar_t* dir;
    const wchar_t* name;
    const wchar_t* expected;
  } cases[] = {
      {L"C:\\Apps\\Pelorix", L"uninst.exe", L"C:\\Apps\\Pelorix\\uninst.exe"},
      {L"C:\\Apps\\Pelorix\\", L"uninst.exe", L"C:\\Apps\\Pelorix\\uninst.exe"},
      {L"C:\\", L"uninst.exe", L"C:\\uninst.exe"},
      {L"C:\\Apps", L"\\Nexhub\\a.exe", L"C:\\Apps\\Nexhub\\a.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, JoinPath(c.dir, c.name)) << c.dir;
  EXPECT_EQ(L"D:\\P\\Nexhub\\pelorix\\pelorix_ui.exe", MainProgramPath(L"D:\\P"));
}

TEST(RegistrationFormat, DisplayVersionChoice) {
  const struct {
    const wchar_t* fixed;
    const wchar_t* text;
    bool prefer_string;
    const wchar_t* expected;
  } cases[] = {
      {L"1.2.3.4", L"1, 2, 3, 4", true, L"1.2.3.4"},
      {L"1.2.3.4", L"5,6,7,8", true, L"5.6.7.8"},
      {L"1.2.3.4", L" 5 . 6 ", true, L"5.6"},
      {L"1.2.3.4", L"   ", true, L"1.2.3.4"},
      {L"1.2.3.4", L"", true, L"1.2.3.4"},
      {L"1.2.3.4", L"5,6,7,8", false, L"1.2.3.4"},
      {L"", L"", true, L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, ChooseDisplayVersion(c.fixed, c.text, c.prefer_string))
        << c.fixed << L" / " << c.text;
  }
}

// Each case starts without the product's keys and leaves none behind.
class RegistrationRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(base::RegRemoveTree(HKEY_LOCAL_MACHINE, kProductKey));
    ASSERT_TRUE(base::RegRemoveTree(HKEY_LOCAL_MACHINE, kUninstallKey));
    ASSERT_TRUE(dir_.IsValid());
  }
  void TearDown() override {
    base::RegRemoveTree(HKEY_LOCAL_MACHINE, kProductKey);
    base::RegRemoveTree(HKEY_LOCAL_MACHINE, kUninstallKey);
  }
  ScopedTempDir dir_;
};

TEST_F(RegistrationRegistry, ProductKeyValues) {
  const std::wstring dir = L"C:\\Program Files\\Pelorix";
  ASSERT_TRUE(WritePathRegistry(dir, Time(2026, 3, 4, 5, 6, 7), L"0123456789abcdef"));
  ExpectString(kProductKey, L"Setup Path", dir);
  ExpectString(kProductKey, L"InstallDate", L"2026-03-04 05:06:07");
  ExpectString(kProductKey, nullptr, L"C:\\Program Files\\Pelorix\\Nexhub\\pelorix\\pelorix_ui.exe");
  ExpectString(kProductKey, L"mid", L"0123456789abcdef");
}

TEST_F(RegistrationRegistry, MidIsCutToItsBuffer) {
  ASSERT_TRUE(WritePathRegistry(L"C:\\P", Time(2026, 1, 1, 0, 0, 0), std::wstring(300, L'a')));
  ExpectString(kProductKey, L"mid", std::wstring(259, L'a'));
}

TEST_F(RegistrationRegistry, ReinstallReplacesInstallDate) {
  ASSERT_TRUE(WritePathRegistry(L"C:\\Old", Time(2025, 1, 1, 8, 0, 0), L"m"));
  ASSERT_TRUE(WritePathRegistry(L"D:\\New", Time(2026, 2, 2, 9, 30, 15), L"m"));
  ExpectString(kProductKey, L"InstallDate", L"2026-02-02 09:30:15");
  ExpectString(kProductKey, L"Setup Path", L"D:\\New");
  ExpectString(kProductKey, nullptr, L"D:\\New\\Nexhub\\pelorix\\pelorix_ui.exe");
}

TEST_F(RegistrationRegistry, NowAndMachineIdentifier) {
  // The identifier is cached by its own code; leave the machine as found.
  const bool had_mid_cache = KeyExists(kMidCacheKey, KEY_WOW64_32KEY);
  SYSTEMTIME before{};
  GetLocalTime(&before);
  ASSERT_TRUE(WritePathRegistry(L"C:\\P"));
  const RawValue date = ReadRaw(kProductKey, L"InstallDate");
  ASSERT_TRUE(date.present);
  ASSERT_EQ(19u, date.text.size()) << date.text;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  ASSERT_EQ(6, swscanf(date.text.c_str(), L"%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s));
  EXPECT_EQ(date.text, FormatInstallDate(Time(y, mo, d, h, mi, s)));
  EXPECT_GE(y, before.wYear);
  const RawValue mid = ReadRaw(kProductKey, L"mid");
  ASSERT_TRUE(mid.present);
  EXPECT_FALSE(mid.text.empty());
  EXPECT_LT(mid.text.size(), 260u);
  if (!had_mid_cache) base::RegRemoveTree(HKEY_LOCAL_MACHINE, kMidCacheKey, KEY_WOW64_32KEY);
}

// The keys are written without a view flag, so they land in the writing
// process's own view: for the deliverable, a 32-bit process, the 32-bit view
// where the 32-bit product reads them, which on 64-bit Windows is
// Wow6432Node (a separate registration runs this in a 64-bit prefix). Built
// for x86_64, the 64-bit view.
TEST_F(RegistrationRegistry, WritesLandInTheProcesssOwnView) {
  if (GetEnvironmentVariableW(L"PELORIX_EXPECT_WOW64", nullptr, 0) > 0) {
    ASSERT_TRUE(base::Is64BitSystem()) << "meant to run in a 64-bit prefix";
  }
  ASSERT_TRUE(WritePathRegistry(L"C:\\P", Time(2026, 1, 1, 0, 0, 0), L"m"));
  ASSERT_TRUE(WriteUninstallEntry(L"C:\\P"));
  const bool is_32bit = sizeof(void*) == 4;
  const REGSAM own = is_32bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  EXPECT_TRUE(ReadRaw(kProductKey, L"Setup Path", own).present);
  EXPECT_TRUE(ReadRaw(kUninstallKey, L"DisplayName", own).present);
  if (base::Is64BitSystem()) {
    const REGSAM other = is_32bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    EXPECT_FALSE(KeyExists(kProductKey, other));
    EXPECT_FALSE(KeyExists(kUninstallKey, other));
    EXPECT_EQ(KeyExists(L"SOFTWARE\\Wow6432Node\\Pelorix", KEY_WOW64_64KEY), is_32bit);
    EXPECT_EQ(KeyExists(L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pelorix",
                        KEY_WOW64_64KEY),
              is_32bit);
  }
}

TEST_F(RegistrationRegistry, UninstallEntrySixValues) {
  // A main program with a version resource: a copy of a system library.
  const std::wstring dir = dir_.path();
  const std::wstring program = MainProgramPath(dir);
  ASSERT_TRUE(CreateDirectoryW(JoinPath(dir, L"Nexhub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(JoinPath(dir, L"Nexhub\\pelorix").c_str(), nullptr));
  wchar_t system[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  ASSERT_TRUE(CopyFileW(JoinPath(system, L"kernel32.dll").c_str(), program.c_str(), FALSE));
  const std::wstring fixed = base::FixedFileVersion(program);
  ASSERT_FALSE(fixed.empty());

  ASSERT_TRUE(WriteUninstallEntry(dir));
  ExpectString(kUninstallKey, L"DisplayIcon", program);
  ExpectString(kUninstallKey, L"DisplayName", L"Pelorix");
  // The prefix reports Windows 7: the fixed version.
  if (!base::IsWindows10OrLater(base::CurrentNtVersion())) {
    ExpectString(kUninstallKey, L"DisplayVersion", fixed);
  }
  ExpectString(kUninstallKey, L"InstallLocation", dir);
  ExpectString(kUninstallKey, L"Publisher", L"Orvane");
  ExpectString(kUninstallKey, L"UninstallString", dir + L"\\uninst.exe");
}

TEST_F(RegistrationRegistry, UninstallEntryWithoutMainProgram) {
  ASSERT_TRUE(WriteUninstallEntry(L"E:\\Nowhere\\"));
  ExpectString(kUninstallKey, L"DisplayVersion", L"");
  ExpectString(kUninstallKey, L"InstallLocation", L"E:\\Nowhere\\");
  ExpectString(kUninstallKey, L"UninstallString", L"E:\\Nowhere\\uninst.exe");
  ExpectString(kUninstallKey, L"DisplayIcon", L"E:\\Nowhere\\Nexhub\\pelorix\\pelorix_ui.exe");
}

}  // namespace
}  // namespace engine
