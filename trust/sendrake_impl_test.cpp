// Product information through SendrakeImpl. Runs in a prefix that reports
// Windows 10, so the library backend's signature check bites.
#include "trust/sendrake_impl.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include "base/registry.h"
#include "base/string_conv.h"
#include "log/logger.h"
#include "trust/product_info_test_util.h"

namespace trust {
namespace {

using product_info_test::BaseFolder;
using product_info_test::Info;
using product_info_test::WriteInfo;

constexpr wchar_t kTestRegKey[] = L"Software\\PelorixTrustTest";

std::wstring BinFile(const std::wstring& name) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + name;
}

// Places a sample library where Init looks for the product's one.
std::wstring PlaceLibrary(const BaseFolder& base, const std::wstring& source) {
  CreateDirectoryW(base.File(L"Utils").c_str(), nullptr);
  const std::wstring target = base.File(L"Utils\\Sendrake.dll");
  EXPECT_TRUE(CopyFileW(BinFile(source).c_str(), target.c_str(), FALSE));
  return target;
}

std::wstring Folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

constexpr char kTwoProducts[] = R"(
  {"product_id":"absent","main_process_name":"absent.exe","stats_url":"http://absent/stat"},
  {"product_id":"pelorix","main_process_name":"Pelorix.exe",
   "reg_path":"HKEY_CURRENT_USER\\Software\\PelorixTrustTest",
   "channel_reg_key":"channel","install_date_reg_key":"date","install_dir_reg_key":"dir",
   "public_config_dir":"%appdata%\\Pelorix\\public","appdata_dir_name":"PelorixData",
   "cfg_file_path":"cfg\\main.ini","appdata_cfg_file_path":"user.ini","app_ver_path":"ver.ini",
   "stats_url":"http://127.0.0.1:18233/pc_all","dump_upload_url":"http://127.0.0.1/dump",
   "short_name":"\u7f57\u76d8","service_name":"PelorixSvc","update_sign_url":"http://127.0.0.1:18234/s.dat"},
  {"product_id":"later","main_process_name":"Later.exe","stats_url":"http://later/stat"})";

class SendrakeImplTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::RegRemoveTree(HKEY_CURRENT_USER, kTestRegKey);
    ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, kTestRegKey, L"dir", L"D:\\Apps\\Pelorix"));
    ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, kTestRegKey, L"date", L"20260708"));
    ASSERT_TRUE(base::RegWriteDword(HKEY_CURRENT_USER, kTestRegKey, L"channel", 77));
    // Both have main processes; the earlier entry with one becomes current.
    ASSERT_TRUE(log_test::WriteRaw(base_.File(L"Pelorix.exe"), "MZ"));
    ASSERT_TRUE(log_test::WriteRaw(base_.File(L"Later.exe"), "MZ"));
  }
  void TearDown() override { base::RegRemoveTree(HKEY_CURRENT_USER, kTestRegKey); }

  BaseFolder base_;
};

TEST_F(SendrakeImplTest, NewerExtendedFileReplacesTheMainFile) {
  ASSERT_TRUE(WriteInfo(base_.File(L"ProductInfo.dat"), Info("2026.01", R"({"product_id":"old","main_process_name":"Pelorix.exe"})")));
  ASSERT_TRUE(WriteInfo(base_.File(L"ProductInfoEx.dat"), Info("2026.02", kTwoProducts)));
  SendrakeImpl info;
  ASSERT_TRUE(info.InitFromDirectory(base_.path()));
  EXPECT_FALSE(info.uses_library());
  EXPECT_EQ(info.GetProductInfoVersion(), L"2026.02");
  EXPECT_EQ(info.GetProductId(), L"pelorix");
  EXPECT_EQ(log_test::ReadBytes(base_.File(L"ProductInfo.dat")), log_test::ReadBytes(base_.File(L"ProductInfoEx.dat")));
  EXPECT_EQ(info.GetValue(7, L"old"), L"");
}

TEST_F(SendrakeImplTest, FileBackendDerivesEveryKey) {
  ASSERT_TRUE(WriteInfo(base_.File(L"ProductInfo.dat"), Info("3", kTwoProducts)));
  SendrakeImpl info;
  ASSERT_TRUE(info.InitFromDirectory(base_.path()));
  const std::wstring appdata = Folder(CSIDL_APPDATA);
  struct Case {
    int index;
    std::wstring expected;
  } cases[] = {
      {0, L"77"},
      {1, L"D:\\Apps\\Pelorix\\Pelorix.exe"},
      {2, L"20260708"},
      {3, L"D:\\Apps\\Pelorix"},
      {4, Folder(CSIDL_COMMON_APPDATA) + L"\\Pelorix\\public"},
      {5, appdata + L"\\PelorixData"},
      {6, L"D:\\Apps\\Pelorix\\cfg\\main.ini"},
      {7, L"http://127.0.0.1:18233/pc_all"},
      {13, L"http://127.0.0.1/dump"},
      {14, L""},  // key absent
      {17, L"\u7f57\u76d8"},
      {18, L""},  // the library's only
      {22, L"PelorixSvc"},
      {24, appdata + L"\\PelorixData\\user.ini"},
      {25, L""},
      {26, L"D:\\Apps\\Pelorix\\ver.ini"},
      {27, L""},
      {-1, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(info.GetValue(c.index), c.expected) << c.index;
  EXPECT_EQ(info.GetGeneralValue("update_sign_url"), L"http://127.0.0.1:18234/s.dat");
  EXPECT_EQ(info.GetValue(7, L"absent"), L"http://absent/stat");
  EXPECT_EQ(info.GetValue(7, L"later"), L"http://later/stat");
  EXPECT_EQ(info.GetValue(7, L"unknown"), L"");
  EXPECT_EQ(info.GetValue(7, L""), L"");
}

TEST_F(SendrakeImplTest, ProductWithoutItsMainProcessIsNeverCurrent) {
  ASSERT_TRUE(DeleteFileW(base_.File(L"Pelorix.exe").c_str()));
  ASSERT_TRUE(WriteInfo(base_.File(L"ProductInfo.dat"), Info("3", kTwoProducts)));
  SendrakeImpl info;
  ASSERT_TRUE(info.InitFromDirectory(base_.path()));
  EXPECT_EQ(info.GetProductId(), L"later");
  ASSERT_TRUE(DeleteFileW(base_.File(L"Later.exe").c_str()));
  SendrakeImpl none;
  ASSERT_TRUE(none.InitFromDirectory(base_.path()));
  EXPECT_EQ(none.GetProductId(), L"");
  EXPECT_EQ(none.GetValue(7), L"");
  EXPECT_EQ(none.GetValue(7, L"absent"), L"http://absent/stat");
}

TEST_F(SendrakeImplTest, LibraryWinsOverTheFile) {
  ASSERT_TRUE(WriteInfo(base_.File(L"ProductInfo.dat"), Info("3", kTwoProducts)));
  const std::wstring library = PlaceLibrary(base_, L"trust_testdata\\sample_sendrake.dll");
  {
    SendrakeImpl info;
    ASSERT_TRUE(info.InitFromDirectory(base_.path()));
    EXPECT_TRUE(info.uses_library());
    EXPECT_EQ(info.GetProductId(), L"pelorix");
    EXPECT_EQ(info.GetProductInfoVersion(), L"2026.07");
    struct Case {
      int index;
      const wchar_t* product;
      std::wstring expected;
    } cases[] = {
        {3, nullptr, L"C:\\Program Files\\Pelorix"},
        {7, nullptr, L"http://127.0.0.1:18233/pc_all"},
        {17, nullptr, L"\u7f57\u76d8"},
        {7, L"other", L""},  // the id reaches the library
        {18, nullptr, L""},  // the library answers null
        {0, nullptr, L""},   // no such getter
        {26, nullptr, L""},
    };
    for (const Case& c : cases) EXPECT_EQ(info.GetValue(c.index, c.product), c.expected) << c.index;
    EXPECT_EQ(info.GetGeneralValue("update_sign_url"), L"http://127.0.0.1:18234/sign.dat");
    EXPECT_EQ(info.GetGeneralValue("nothing"), L"");
    // Every text the library handed out went back through free_str.
    using OutstandingFn = LONG(__cdecl*)();
    HMODULE loaded = GetModuleHandleW(library.c_str());
    ASSERT_NE(loaded, nullptr);
    auto outstanding = reinterpret_cast<OutstandingFn>(
        reinterpret_cast<void*>(GetProcAddress(loaded, "sample_outstanding")));
    ASSERT_NE(outstanding, nullptr);
    EXPECT_EQ(outstanding(), 0);
  }
  EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);  // released with the helper
}

TEST_F(SendrakeImplTest, LibraryWithoutVersionEntryIsNotUsed) {
  ASSERT_TRUE(WriteInfo(base_.File(L"ProductInfo.dat"), Info("3", kTwoProducts)));
  const std::wstring library = PlaceLibrary(base_, L"trust_testdata\\sample_sendrake_nover.dll");
  SendrakeImpl direct;
  EXPECT_FALSE(direct.InitFromLibrary(library.c_str()));
  EXPECT_FALSE(direct.ready());
  EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);
  SendrakeImpl info;
  ASSERT_TRUE(info.InitFromDirectory(base_.path()));
  EXPECT_FALSE(info.uses_library());
  EXPECT_EQ(info.GetProductInfoVersion(), L"3");
  EXPECT_EQ(info.GetValue(3), L"D:\\Apps\\Pelorix");
}

TEST_F(SendrakeImplTest, UnsignedLibraryIsNeverLoaded) {
  ASSERT_TRUE(WriteInfo(base_.File(L"ProductInfo.dat"), Info("3", kTwoProducts)));
  const std::wstring library = PlaceLibrary(base_, L"sample_sendrake.dll");  // as built, unsigned
  SendrakeImpl info;
  ASSERT_TRUE(info.InitFromDirectory(base_.path()));
  EXPECT_FALSE(info.uses_library());
  EXPECT_EQ(GetModuleHandleW(library.c_str()), nullptr);
  EXPECT_EQ(info.GetValue(7), L"http://127.0.0.1:18233/pc_all");
}

TEST_F(SendrakeImplTest, MissingLibraryIsLogged) {
  log_test::TempLogPath log(L"sendrake");
  LogUtils::Init(log.path.c_str(), L"trust", TRUE, TRUE, LogUtils::kDefaultSizeLimit);
  SendrakeImpl info;
  EXPECT_FALSE(info.InitFromLibrary(nullptr));
  EXPECT_FALSE(info.InitFromLibrary(base_.File(L"Utils\\Sendrake.dll").c_str()));
  EXPECT_FALSE(info.ready());
  LogUtils::End();
  const std::string text = log_test::ReadBytes(log.path);
  EXPECT_NE(text.find("Sendrake not exists: (null)"), std::string::npos) << text;
  EXPECT_NE(text.find("Sendrake not exists: " + base::WideToUtf8(base_.File(L"Utils\\Sendrake.dll"))),
            std::string::npos)
      << text;
}

TEST_F(SendrakeImplTest, NothingToReadIsNotReady) {
  SendrakeImpl info;
  EXPECT_FALSE(info.InitFromDirectory(base_.path()));
  EXPECT_FALSE(info.ready());
  EXPECT_EQ(info.GetValue(7, L"pelorix"), L"");
  EXPECT_EQ(info.GetGeneralValue("update_sign_url", L"pelorix"), L"");
}

}  // namespace
}  // namespace trust
