// The signer lists beyond the built-in digests. Runs in a prefix that reports
// Windows 10, with the loopback server of tests/trust serving TRUST_TEST_WWW.
#include "trust/sign_info_collecter.h"

#include <objbase.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "base/registry.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "trust/shared_sign_record.h"
#include "trust/signature_check.h"
#include "trust/string_cipher.h"

namespace trust {
namespace {

constexpr DWORD kRecordSize = 4096;

// Stands in for the maker's program that owns the shared record.
class RecordOwner {
 public:
  explicit RecordOwner(const std::string& json) {
    mapping_.Reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kRecordSize,
                                      kSharedSignRecordName));
    view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    SetRaw(json, static_cast<DWORD>(json.size()));
  }
  void SetRaw(const std::string& json, DWORD length) {
    auto* bytes = static_cast<char*>(view_.Get());
    std::memcpy(bytes, &length, sizeof(length));
    std::memcpy(bytes + sizeof(length), json.data(), json.size());
  }
  std::string Text() const {
    const auto* bytes = static_cast<const char*>(view_.Get());
    DWORD length = 0;
    std::memcpy(&length, bytes, sizeof(length));
    return length <= kRecordSize - sizeof(length) ? std::string(bytes + sizeof(length), length) : std::string();
  }
  Json::Value Json() const {
    Json::Value root;
    std::istringstream(Text()) >> root;
    return root;
  }
  bool ok() const { return mapping_ && view_; }

 private:
  base::ScopedHandle mapping_;
  ScopedView view_;
};

std::wstring TestFile(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"trust_testdata\\" + name;
}

std::string Encipher(const std::string& plain) {
  std::string out;
  EXPECT_TRUE(EncipherText(plain, kSignListKey, &out));
  return out;
}

// Publishes a file on the loopback server and returns its address.
std::wstring Serve(const std::string& name, const std::string& body) {
  std::ofstream(base::WideToUtf8(TRUST_TEST_WWW) + "\\" + name, std::ios::binary) << body;
  return L"http://127.0.0.1:" + std::to_wstring(TRUST_TEST_PORT) + L"/" + base::Utf8ToWide(name);
}

// How often the server was asked for `path`.
int Requests(const std::string& path) {
  std::ifstream log(base::WideToUtf8(TRUST_TEST_WWW) + "\\requests.log");
  int count = 0;
  for (std::string line; std::getline(log, line);) count += line == "GET /" + path;
  return count;
}

class SignListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ClearCache();
    SetSignListUrlSource([this] {
      ++url_asked_;
      return url_;
    });
  }
  void TearDown() override {
    SetSignListUrlSource(nullptr);
    ClearCache();
    CoUninitialize();
  }
  static void ClearCache() {
    base::RegRemoveValue(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSVer");
    base::RegRemoveValue(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSList");
  }
  static bool CacheHolds(std::wstring* version, std::string* list) {
    std::wstring enciphered, plain;
    if (!base::RegReadString(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSVer", version) ||
        !base::RegReadString(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSList", &enciphered) ||
        !DecipherText(enciphered, base::Utf8ToWide(kSignListKey), &plain)) {
      return false;
    }
    *list = base::WideToUtf8(plain);
    return true;
  }

  std::wstring url_;
  int url_asked_ = 0;
};

TEST(SignListHolds, ComparesNamesWithoutCase) {
  struct Case {
    const char* list;
    const wchar_t* name;
    bool expected;
  } cases[] = {
      {R"(["Someone Else Entirely"])", L"someone else ENTIRELY", true},
      {R"(["a", 7, "Second Signer"])", L"Second Signer", true},
      {R"(["Someone Else"])", L"Someone Else Entirely", false},
      {R"(["Someone"])", L"", false},
      {R"({"Someone": 1})", L"Someone", false},  // not an array
      {R"("Someone")", L"Someone", false},
      {R"(["Someone")", L"Someone", false},  // cut short
      {"", L"Someone", false},
      {"[\"\xE7\xBD\x97\xE7\x9B\x98\"]", L"\u7f57\u76d8", true},  // UTF-8 names
  };
  for (const Case& c : cases) EXPECT_EQ(SignListHolds(c.list, c.name), c.expected) << c.list;
}

TEST_F(SignListTest, SignerInSharedRecordPassesWithoutRegistryOrNetwork) {
  const std::string json = R"({"CSVer":"1","CSList":"[\"Someone Else Entirely\"]","CheckFailCnt":5})";
  RecordOwner owner(json);
  ASSERT_TRUE(owner.ok());
  EXPECT_TRUE(SignerAccepted(L"Someone Else Entirely", true));
  // The file the built-in list refuses passes on the shared list alone.
  EXPECT_TRUE(SignatureCheck(TestFile(L"signed_other.exe").c_str(), TRUE));
  EXPECT_FALSE(SignatureCheck(TestFile(L"unsigned.exe").c_str(), TRUE));
  EXPECT_EQ(owner.Text(), json);
  std::wstring version;
  EXPECT_FALSE(base::RegReadString(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSVer", &version));
  EXPECT_EQ(url_asked_, 0);
}

TEST_F(SignListTest, UnusableSharedRecordsAcceptNothing) {
  struct Case {
    const char* json;
    DWORD length;  // 0: the text's own length
  } cases[] = {
      {R"({"CSList":"[\"Nobody\"]"})", 0},
      {R"({"CSList":["Someone Else Entirely"]})", 0},  // an array, not its text
      {R"({"CSList":"[\"Someone Else Entirely\"]")", 0},
      {R"(["Someone Else Entirely"])", 0},
      {R"({"CSList":"[\"Someone Else Entirely\"]"})", kRecordSize},  // length past the mapping
  };
  for (const Case& c : cases) {
    RecordOwner owner("");
    ASSERT_TRUE(owner.ok());
    owner.SetRaw(c.json, c.length ? c.length : static_cast<DWORD>(std::strlen(c.json)));
    EXPECT_FALSE(SignerAccepted(L"Someone Else Entirely", false)) << c.json;
  }
}

TEST_F(SignListTest, NoListAnywhereRefusesWithoutRefresh) {
  url_ = Serve("never.dat", Encipher(R"({"CSVer":"1","CSList":"[\"Someone Else Entirely\"]"})"));
  EXPECT_FALSE(SignerAccepted(L"Someone Else Entirely", false));
  EXPECT_EQ(url_asked_, 0);
  EXPECT_EQ(Requests("never.dat"), 0);
}

TEST_F(SignListTest, RegistryCacheHitIsPublished) {
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSVer", L"7", true));
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSList",
                                   base::Utf8ToWide(Encipher(R"(["Cached Signer","Someone Else Entirely"])")), true));
  RecordOwner owner(R"({"CheckFailCnt":2,"Other":"kept"})");
  ASSERT_TRUE(owner.ok());
  EXPECT_FALSE(SignerAccepted(L"Nobody We Know", false));
  EXPECT_TRUE(SignerAccepted(L"CACHED SIGNER", false));
  const Json::Value published = owner.Json();
  EXPECT_EQ(published["CSVer"].asString(), "7");
  EXPECT_TRUE(SignListHolds(published["CSList"].asString(), L"Cached Signer"));
  EXPECT_EQ(published["CheckFailCnt"].asInt(), 2);
  EXPECT_EQ(published["Other"].asString(), "kept");
  // Published, the list now answers from memory alone.
  ClearCache();
  EXPECT_TRUE(SignatureCheck(TestFile(L"signed_other.exe").c_str(), FALSE));
}

TEST_F(SignListTest, CacheNeedsBothValuesAndTheKey) {
  RecordOwner owner("{}");
  ASSERT_TRUE(owner.ok());
  std::string wrong_key;
  ASSERT_TRUE(EncipherText(R"(["Cached Signer"])", "00000000000000000000000000000000", &wrong_key));
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSList", base::Utf8ToWide(wrong_key), true));
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSVer", L"1", true));
  EXPECT_FALSE(SignerAccepted(L"Cached Signer", false));
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSList",
                                   base::Utf8ToWide(Encipher(R"(["Cached Signer"])")), true));
  ASSERT_TRUE(base::RegRemoveValue(HKEY_LOCAL_MACHINE, kSignCacheKey, L"CSVer"));
  EXPECT_FALSE(SignerAccepted(L"Cached Signer", false));
  EXPECT_EQ(owner.Text(), "{}");
}

TEST_F(SignListTest, DownloadedListIsCachedAndPublished) {
  // Both forms of the list: the text of an array, and an array.
  struct Case {
    const char* file;
    const char* body;
  } cases[] = {
      {"list_text.dat", R"({"CSVer":"12","CSList":"[\"Someone Else Entirely\"]"})"},
      {"list_array.dat", R"({"CSVer":"12","CSList":["Someone Else Entirely"]})"},
  };
  for (const Case& c : cases) {
    ClearCache();
    RecordOwner owner(R"({"CheckFailCnt":3})");
    ASSERT_TRUE(owner.ok());
    url_ = Serve(c.file, Encipher(c.body));
    EXPECT_TRUE(SignatureCheck(TestFile(L"signed_other.exe").c_str(), TRUE)) << c.file;
    EXPECT_EQ(Requests(c.file), 1) << c.file;
    std::wstring version;
    std::string list;
    ASSERT_TRUE(CacheHolds(&version, &list)) << c.file;
    EXPECT_EQ(version, L"12");
    EXPECT_TRUE(SignListHolds(list, L"Someone Else Entirely"));
    const Json::Value published = owner.Json();
    EXPECT_EQ(published["CSVer"].asString(), "12");
    EXPECT_TRUE(SignListHolds(published["CSList"].asString(), L"Someone Else Entirely"));
    EXPECT_EQ(published["CheckFailCnt"].asInt(), 3);
  }
}

TEST_F(SignListTest, DownloadedListWithoutTheSignerIsNotCached) {
  RecordOwner owner("{}");
  ASSERT_TRUE(owner.ok());
  url_ = Serve("others.dat", Encipher(R"({"CSVer":"2","CSList":"[\"Nobody\"]"})"));
  EXPECT_FALSE(SignerAccepted(L"Someone Else Entirely", true));
  EXPECT_EQ(Requests("others.dat"), 1);
  std::wstring version;
  std::string list;
  EXPECT_FALSE(CacheHolds(&version, &list));
  EXPECT_EQ(owner.Json()["CheckFailCnt"].asInt(), 1);
}

TEST_F(SignListTest, FailureCountGatesAndCountsDownloads) {
  struct Case {
    const char* record;
    const char* file;
    bool served;  // a list holding the signer is on the server
    int requests;
    std::string after;
  } cases[] = {
      {R"({"CheckFailCnt":5})", "gate5.dat", true, 0, R"({"CheckFailCnt":5})"},
      {R"({"CheckFailCnt":9})", "gate9.dat", true, 0, R"({"CheckFailCnt":9})"},
      {R"({"CheckFailCnt":4})", "gate4.dat", false, 1, R"({"CheckFailCnt":5})"},
      {R"({"CSVer":"1"})", "gate_absent.dat", false, 1, R"({"CSVer":"1","CheckFailCnt":1})"},
      {R"({"CheckFailCnt":"4"})", "gate_text.dat", false, 1, R"({"CheckFailCnt":1})"},
      {"not json", "gate_garbage.dat", false, 1, R"({"CheckFailCnt":1})"},
      {"[1,2]", "gate_array.dat", false, 1, R"({"CheckFailCnt":1})"},
  };
  for (const Case& c : cases) {
    RecordOwner owner(c.record);
    ASSERT_TRUE(owner.ok());
    url_ = L"http://127.0.0.1:" + std::to_wstring(TRUST_TEST_PORT) + L"/" + base::Utf8ToWide(c.file);
    if (c.served) Serve(c.file, Encipher(R"({"CSVer":"1","CSList":"[\"Someone Else Entirely\"]"})"));
    EXPECT_FALSE(SignerAccepted(L"Someone Else Entirely", true)) << c.record;
    EXPECT_EQ(Requests(c.file), c.requests) << c.record;
    Json::Value expected;
    std::istringstream(c.after) >> expected;
    EXPECT_EQ(owner.Json(), expected) << c.record << " -> " << owner.Text();
  }
}

TEST_F(SignListTest, BadDownloadsFail) {
  struct Case {
    const char* file;
    std::string body;
  } cases[] = {
      {"plain.dat", R"({"CSVer":"1","CSList":"[\"Someone Else Entirely\"]"})"},  // not enciphered
      {"no_version.dat", Encipher(R"({"CSList":"[\"Someone Else Entirely\"]"})")},
      {"no_list.dat", Encipher(R"({"CSVer":"1"})")},
      {"not_object.dat", Encipher(R"(["Someone Else Entirely"])")},
      {"empty.dat", ""},
  };
  for (const Case& c : cases) {
    RecordOwner owner("{}");
    ASSERT_TRUE(owner.ok());
    url_ = Serve(c.file, c.body);
    EXPECT_FALSE(SignerAccepted(L"Someone Else Entirely", true)) << c.file;
    EXPECT_EQ(owner.Json()["CheckFailCnt"].asInt(), 1) << c.file;
  }
  // No server at all, and no address.
  RecordOwner owner("{}");
  url_ = L"http://127.0.0.1:1/nothing.dat";
  EXPECT_FALSE(SignerAccepted(L"Someone Else Entirely", true));
  url_.clear();
  EXPECT_FALSE(SignerAccepted(L"Someone Else Entirely", true));
  EXPECT_EQ(owner.Json()["CheckFailCnt"].asInt(), 2);
}

TEST_F(SignListTest, DownloadWithoutSharedRecordStillCaches) {
  url_ = Serve("norecord.dat", Encipher(R"({"CSVer":"3","CSList":"[\"Someone Else Entirely\"]"})"));
  EXPECT_TRUE(SignerAccepted(L"Someone Else Entirely", true));
  std::wstring version;
  std::string list;
  ASSERT_TRUE(CacheHolds(&version, &list));
  EXPECT_EQ(version, L"3");
}

}  // namespace
}  // namespace trust
