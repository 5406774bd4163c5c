// Reads the built package the way Windows and the setup do: resources through
// the resource functions, the payload through the record, the cabinet through
// SetupIterateCabinetW, signatures through WinVerifyTrust.
#include <windows.h>
#include <setupapi.h>
#include <softpub.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/md5.h"

namespace {

constexpr WORD kLangChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
const uint8_t k7zSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};

std::wstring UnixToWine(const wchar_t* unix_path) {
  std::wstring path = std::wstring(L"Z:") + unix_path;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

std::wstring PackagePath() { return UnixToWine(PACKAGE_EXE_W); }

std::vector<uint8_t> ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

LONG VerifyTrust(const std::wstring& path) {
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;  // the state exists even on failure
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return result;
}

class PackageLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(PackagePath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  std::vector<uint8_t> Resource(const wchar_t* type, WORD id) {
    HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), kLangChinese);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module_, found);
    const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(loaded));
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(module_, found));
  }

  HMODULE module_ = nullptr;
};

TEST_F(PackageLayoutTest, StringTableAndManifest) {
  const struct { UINT id; const wchar_t* text; } kStrings[] = {
      {208, L"home"}, {209, L"normal"}, {210, L"no"}, {211, L"0"}};
  for (const auto& s : kStrings) {
    wchar_t text[32] = {};
    EXPECT_GT(LoadStringW(module_, s.id, text, 32), 0) << s.id;
    EXPECT_STREQ(text, s.text) << s.id;
  }
  EXPECT_NE(FindResourceExW(module_, RT_MANIFEST, MAKEINTRESOURCEW(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
            nullptr);
}

// The shell shows icon group 128: five sizes, each one loadable.
TEST_F(PackageLayoutTest, IconGroupHasFiveSizes) {
  const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  HRSRC group = FindResourceExW(module_, RT_GROUP_ICON, MAKEINTRESOURCEW(128), english);
  ASSERT_NE(group, nullptr);
  const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(module_, group)));
  ASSERT_GE(SizeofResource(module_, group), 6u + 5u * 14u);
  EXPECT_EQ(dir[4] | (dir[5] << 8), 5);
  for (int i = 0; i < 5; ++i) {
    const BYTE* entry = dir + 6 + i * 14;
    const WORD id = entry[12] | (entry[13] << 8);
    EXPECT_NE(FindResourceExW(module_, RT_ICON, MAKEINTRESOURCEW(id), english), nullptr) << id;
  }
  for (int size : {16, 32, 48, 256}) {
    HICON icon = static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(128), IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    if (icon && GetIconInfo(icon, &info)) {
      BITMAP bitmap = {};
      GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
      EXPECT_EQ(bitmap.bmWidth, size);
      if (info.hbmColor) DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
    }
    if (icon) DestroyIcon(icon);
  }
}

TEST_F(PackageLayoutTest, RecordLocatesTheScrambledPayload) {
  std::vector<uint8_t> record = Resource(L"SETUPDATA", 215);
  ASSERT_EQ(record.size(), 24u);
  uint32_t offset = 0, length = 0;
  memcpy(&offset, &record[0], 4);
  memcpy(&length, &record[4], 4);
  ASSERT_NE(offset, 0xCCCCCCCCu);
  ASSERT_NE(length, 0xCCCCCCCCu);

  std::vector<uint8_t> file = ReadAll(PackagePath());
  ASSERT_LE(uint64_t{offset} + length, file.size());
  const uint8_t* stored = &file[offset];

  uint8_t digest[16];
  base::Md5 md5;
  md5.Update(stored, length);
  md5.Final(digest);
  EXPECT_EQ(0, memcmp(digest, &record[8], 16));

  // Unscrambled, the payload is a 7z archive.
  uint8_t key = stored[0];
  uint8_t head[6] = {key};
  for (int i = 1; i < 6; ++i) head[i] = stored[i] ^ key;
  EXPECT_EQ(0, memcmp(head, k7zSignature, 6));
}

TEST_F(PackageLayoutTest, ConfigurationAndRuntimeInstallerAre7z) {
  for (auto [type, id] : {std::pair<const wchar_t*, WORD>{L"EDGE_INST", 305},
                          std::pair<const wchar_t*, WORD>{L"SETUPCONFIG", 213}}) {
    std::vector<uint8_t> data = Resource(type, id);
    ASSERT_GE(data.size(), 32u) << type;
    EXPECT_EQ(0, memcmp(data.data(), k7zSignature, 6)) << type;
  }
}

UINT CALLBACK CabinetCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) {
  auto* dir = static_cast<std::wstring*>(context);
  if (notification == SPFILENOTIFY_FILEINCABINET) {
    auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_W*>(param1);
    if (wcscmp(info->NameInCabinet, L"7z.dll") != 0) return FILEOP_ABORT;
    wcscpy(info->FullTargetName, (*dir + L"\\7z.dll").c_str());
    return FILEOP_DOIT;
  }
  if (notification == SPFILENOTIFY_FILEEXTRACTED) {
    return reinterpret_cast<FILEPATHS_W*>(param1)->Win32Error;
  }
  return NO_ERROR;
}

TEST_F(PackageLayoutTest, CabinetHoldsASigned7zDllThatLoads) {
  std::vector<uint8_t> cab = Resource(L"DLL_7Z", 203);
  ASSERT_GE(cab.size(), 4u);
  ASSERT_EQ(0, memcmp(cab.data(), "MSCF", 4));

  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  std::wstring dir = std::wstring(temp) + L"pkg_layout_" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  std::wstring cab_path = dir + L"\\7z.cab";
  {
    std::ofstream out(cab_path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(cab.data()), static_cast<std::streamsize>(cab.size()));
  }
  EXPECT_TRUE(SetupIterateCabinetW(cab_path.c_str(), 0, CabinetCallback, &dir)) << GetLastError();
  std::wstring dll = dir + L"\\7z.dll";
  EXPECT_EQ(VerifyTrust(dll), ERROR_SUCCESS);
  HMODULE sevenzip = LoadLibraryW(dll.c_str());
  EXPECT_NE(sevenzip, nullptr);
  if (sevenzip) {
    EXPECT_NE(GetProcAddress(sevenzip, "CreateObject"), nullptr);
    FreeLibrary(sevenzip);
  }
  DeleteFileW(dll.c_str());
  DeleteFileW(cab_path.c_str());
  RemoveDirectoryW(dir.c_str());
}

TEST_F(PackageLayoutTest, PackageSignatureCoversThePayload) {
  EXPECT_EQ(VerifyTrust(PackagePath()), ERROR_SUCCESS);
}

}  // namespace
