#include "trust/sign_info_collecter.h"

#include <json/json.h>
#include <urlmon.h>

#include <memory>

#include "base/registry.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "base/system_library.h"
#include "trust/sendrake_impl.h"
#include "trust/shared_sign_record.h"
#include "trust/string_cipher.h"

namespace trust {

const char kSignListKey[] = "5C0E7A19B24D4F88A1D63E927F04B6CD";

namespace {

constexpr wchar_t kVersionValue[] = L"CSVer";
constexpr wchar_t kListValue[] = L"CSList";
constexpr char kJsonVersion[] = "CSVer";
constexpr char kJsonList[] = "CSList";
constexpr char kFailCount[] = "CheckFailCnt";
// A signer list is a few kilobytes; anything far larger is not one.
constexpr DWORD kMaxDownloadBytes = 1024 * 1024;

std::wstring ProductSignListUrl() {
  std::shared_ptr<SendrakeImpl> product = SharedSendrake();
  return product ? product->GetGeneralValue("update_sign_url") : std::wstring();
}

SignListUrlSource& UrlSource() {
  static SignListUrlSource source;
  return source;
}

bool ParseJson(const std::string& text, Json::Value* out) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(text.data(), text.data() + text.size(), out, &errors);
}

std::string WriteJson(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

// The list inside a downloaded object is text holding an array, as in the
// shared record; an array given directly is taken as well.
bool ListText(const Json::Value& list, std::string* text) {
  if (list.isString()) {
    *text = list.asString();
    return true;
  }
  if (list.isArray()) {
    *text = WriteJson(list);
    return true;
  }
  return false;
}

bool ReadSmallFile(const wchar_t* path, std::string* data) {
  base::ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxDownloadBytes) return false;
  data->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!data->empty() && (!ReadFile(file.Get(), &(*data)[0], static_cast<DWORD>(data->size()), &read, nullptr) ||
                         read != data->size())) {
    return false;
  }
  return true;
}

bool DownloadText(const std::wstring& url, std::string* text) {
  using DownloadFn = HRESULT(WINAPI*)(IUnknown*, LPCWSTR, LPWSTR, DWORD, DWORD, IBindStatusCallback*);
  // urlmon is not a library Windows always takes from System32.
  auto download = base::GetSystemProcAs<DownloadFn>(L"urlmon.dll", "URLDownloadToCacheFileW");
  if (!download || url.empty()) return false;
  wchar_t cached[MAX_PATH] = {};
  if (FAILED(download(nullptr, url.c_str(), cached, MAX_PATH, 0, nullptr))) return false;
  return ReadSmallFile(cached, text);
}

}  // namespace

void SetSignListUrlSource(SignListUrlSource source) {
  UrlSource() = std::move(source);
}

bool SignListHolds(const std::string& list_json, const std::wstring& name) {
  Json::Value list;
  if (name.empty() || !ParseJson(list_json, &list) || !list.isArray()) return false;
  for (const Json::Value& entry : list) {
    if (!entry.isString()) continue;
    const std::wstring candidate = base::Utf8ToWide(entry.asString());
    if (CompareStringOrdinal(candidate.c_str(), static_cast<int>(candidate.size()), name.c_str(),
                             static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

SignInfoCollecter::SignInfoCollecter(std::wstring signer)
    : record_(SharedSignRecord::Open()), signer_(std::move(signer)) {}

SignInfoCollecter::~SignInfoCollecter() = default;

bool SignInfoCollecter::Accepted(bool allow_refresh) {
  if (InSharedRecord() || InRegistryCache()) return true;
  return allow_refresh && Refresh();
}

bool SignInfoCollecter::RecordObject(Json::Value* root) const {
  std::string json;
  return record_ && record_->Read(&json) && ParseJson(json, root) && root->isObject();
}

bool SignInfoCollecter::InSharedRecord() const {
  Json::Value root;
  if (!RecordObject(&root)) return false;
  const Json::Value& list = root[kJsonList];
  return list.isString() && SignListHolds(list.asString(), signer_);
}

bool SignInfoCollecter::InRegistryCache() {
  std::wstring version, enciphered, list;
  if (!base::RegReadString(HKEY_LOCAL_MACHINE, kSignCacheKey, kVersionValue, &version) ||
      !base::RegReadString(HKEY_LOCAL_MACHINE, kSignCacheKey, kListValue, &enciphered) ||
      !DecipherText(enciphered, base::Utf8ToWide(kSignListKey), &list)) {
    return false;
  }
  const std::string list_json = base::WideToUtf8(list);
  if (!SignListHolds(list_json, signer_)) return false;
  Publish(base::WideToUtf8(version), list_json);
  return true;
}

bool SignInfoCollecter::Refresh() {
  if (FailureCount() >= kMaxSignListFailures) return false;
  const SignListUrlSource& source = UrlSource();
  const std::wstring url = source ? source() : ProductSignListUrl();
  std::string enciphered, plain, list_json;
  Json::Value root;
  if (!DownloadText(url, &enciphered) || !DecipherText(enciphered, kSignListKey, &plain) ||
      !ParseJson(plain, &root) || !root.isObject() || !root[kJsonVersion].isString() ||
      !ListText(root[kJsonList], &list_json) || !SignListHolds(list_json, signer_)) {
    RecordFailure();
    return false;
  }
  const std::string version = root[kJsonVersion].asString();
  std::string cached;
  // The cache is only worth replacing with a list that holds the signer.
  if (EncipherText(list_json, kSignListKey, &cached)) {
    base::RegWriteString(HKEY_LOCAL_MACHINE, kSignCacheKey, kVersionValue, base::Utf8ToWide(version), true);
    base::RegWriteString(HKEY_LOCAL_MACHINE, kSignCacheKey, kListValue, base::Utf8ToWide(cached), true);
  }
  Publish(version, list_json);
  return true;
}

int SignInfoCollecter::FailureCount() const {
  Json::Value root;
  if (!RecordObject(&root)) return 0;
  const Json::Value& count = root[kFailCount];
  return count.isInt() ? count.asInt() : 0;
}

void SignInfoCollecter::RecordFailure() {
  if (!record_) return;
  Json::Value root;
  if (!RecordObject(&root)) {
    record_->Write("{\"CheckFailCnt\":1}");
    return;
  }
  const Json::Value& count = root[kFailCount];
  root[kFailCount] = (count.isInt() ? count.asInt() : 0) + 1;
  record_->Write(WriteJson(root));
}

void SignInfoCollecter::Publish(const std::string& version, const std::string& list_json) {
  if (!record_) return;
  Json::Value root;
  if (!RecordObject(&root)) root = Json::Value(Json::objectValue);
  root[kJsonVersion] = version;
  root[kJsonList] = list_json;
  // A good list says nothing about the server; an earlier count stands.
  if (!root[kFailCount].isInt()) root[kFailCount] = 0;
  record_->Write(WriteJson(root));
}

}  // namespace trust
