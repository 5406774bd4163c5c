// The accepted-signer lists beyond the built-in digests: the list the maker's
// other programs share in memory, the list cached in HKLM
// "SOFTWARE\Hubwright" ("CSVer", "CSList") and, as the last resort, the list
// downloaded from the address in product information ("update_sign_url").
//
// Failed downloads are counted in the shared record ("CheckFailCnt"); at five
// no program that reads the record downloads again.
#pragma once

#include <json/json.h>

#include <functional>
#include <memory>
#include <string>

namespace trust {

class SharedSignRecord;

// Key text of the cached and downloaded lists (string cipher).
extern const char kSignListKey[];

constexpr wchar_t kSignCacheKey[] = L"SOFTWARE\\Hubwright";
constexpr int kMaxSignListFailures = 5;

// Where the download address comes from. The default asks product
// information; tests point it at a loopback server. Null restores the default.
using SignListUrlSource = std::function<std::wstring()>;
void SetSignListUrlSource(SignListUrlSource source);

// Whether the text of a JSON array of display names holds `name` (compared
// without case). False for anything that is not such an array.
bool SignListHolds(const std::string& list_json, const std::wstring& name);

class SignInfoCollecter {
 public:
  explicit SignInfoCollecter(std::wstring signer);
  virtual ~SignInfoCollecter();
  SignInfoCollecter(const SignInfoCollecter&) = delete;
  SignInfoCollecter& operator=(const SignInfoCollecter&) = delete;

  // Shared record, then registry cache, then (with `allow_refresh`) download.
  bool Accepted(bool allow_refresh);

 private:
  // The record's JSON object; false without a record or an object in it.
  bool RecordObject(Json::Value* root) const;
  bool InSharedRecord() const;
  bool InRegistryCache();
  bool Refresh();
  int FailureCount() const;
  void RecordFailure();
  // Replaces the record's "CSVer" and "CSList", keeping its other members.
  void Publish(const std::string& version, const std::string& list_json);

  std::unique_ptr<SharedSignRecord> record_;
  std::wstring signer_;
};

}  // namespace trust
