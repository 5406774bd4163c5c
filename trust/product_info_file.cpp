#include "trust/product_info_file.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>

#include "base/registry.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"
#include "trust/string_cipher.h"

namespace trust {

const char kProductInfoKey[] = "6B1F3E2A-94C7-4D58-A0E3-7C25D9B18F46";

namespace {

constexpr DWORD kMaxRegistryBytes = 2048;
constexpr DWORD kMaxFileBytes = 4 * 1024 * 1024;

// The JSON key of each index that is read as it stands.
constexpr const char* kPlainKeys[] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    "stats_url",                      // 7
    "cfg_center_ver_url",             // 8
    "cfg_center_detail_url",          // 9
    "cfg_center_msg_wnd_class",       // 10
    "cfg_center_stub_msg_wnd_class",  // 11
    "config_center_single_mutex",     // 12
    "dump_upload_url",                // 13
    "service_cfg_url",                // 14
    "app",                            // 15
    "short_app",                      // 16
    "short_name",                     // 17
    nullptr, nullptr, nullptr, nullptr,  // 18-21: the library's only
    "service_name",                   // 22
    "service_path",                   // 23
};

bool ReadWholeFile(const std::wstring& path, std::string* data) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxFileBytes) return false;
  data->resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  return data->empty() ||
         (ReadFile(file.Get(), &(*data)[0], static_cast<DWORD>(data->size()), &read, nullptr) && read == data->size());
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Join(std::wstring dir, const std::wstring& name) {
  if (dir.empty() || name.empty()) return std::wstring();
  if (dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
  return dir + name;
}

std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : std::wstring();
}

std::string FileVersion(const std::wstring& path) {
  Json::Value root;
  if (!ReadProductInfoFile(path, &root) || !root.isObject() || !root["version"].isString()) return std::string();
  return root["version"].asString();
}

std::wstring Text(const Json::Value& entry, const char* key) {
  const Json::Value& value = entry[key];
  return value.isString() ? base::Utf8ToWide(value.asString()) : std::wstring();
}

HKEY RootKey(const std::wstring& name) {
  static const struct {
    const wchar_t* name;
    HKEY key;
  } kRoots[] = {
      {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKEY_USERS", HKEY_USERS},
      {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
  };
  for (const auto& root : kRoots) {
    if (_wcsicmp(root.name, name.c_str()) == 0) return root.key;
  }
  return nullptr;
}

}  // namespace

bool ReadProductInfoFile(const std::wstring& path, Json::Value* root) {
  std::string enciphered, plain, errors;
  if (!ReadWholeFile(path, &enciphered) || !DecipherText(enciphered, kProductInfoKey, &plain)) return false;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  return reader->parse(plain.data(), plain.data() + plain.size(), root, &errors);
}

bool BringExtendedFileForward(const std::wstring& extended, const std::wstring& main) {
  if (!FileExists(extended)) return false;
  if (!FileExists(main)) return CopyFileW(extended.c_str(), main.c_str(), TRUE) != FALSE;
  std::string extended_bytes, main_bytes;
  if (!ReadWholeFile(extended, &extended_bytes) || !ReadWholeFile(main, &main_bytes) ||
      extended_bytes == main_bytes) {
    return false;
  }
  const std::string main_version = FileVersion(main);
  if (!main_version.empty() && !(main_version < FileVersion(extended))) return false;
  DeleteFileW(main.c_str());
  return CopyFileW(extended.c_str(), main.c_str(), TRUE) != FALSE;
}

bool ProductInfoFile::Load(const std::wstring& base) {
  BringExtendedFileForward(base + L"ProductInfoEx.dat", base + L"ProductInfo.dat");
  BringExtendedFileForward(base + L"utils\\ProductInfoEx.dat", base + L"utils\\ProductInfo.dat");
  std::wstring path = base + L"ProductInfo.dat";
  if (!FileExists(path)) path = base + L"utils\\ProductInfo.dat";
  Json::Value root;
  if (!ReadProductInfoFile(path, &root) || !root.isObject()) return false;
  version_ = root["version"].isString() ? root["version"].asString() : std::string();
  products_.clear();
  current_.clear();
  for (const Json::Value& entry : root["info"]) {
    if (!entry.isObject() || !entry["product_id"].isString()) continue;
    const std::string id = entry["product_id"].asString();
    products_[id] = entry;
    if (current_.empty() && FileExists(Join(base, Text(entry, "main_process_name")))) current_ = id;
  }
  return true;
}

const Json::Value* ProductInfoFile::Entry(const std::string& product_id) const {
  auto it = products_.find(product_id);
  return it == products_.end() ? nullptr : &it->second;
}

std::wstring ProductInfoFile::RegistryValue(const Json::Value& entry, const char* value_key) const {
  const std::wstring reg_path = Text(entry, "reg_path");
  const std::wstring name = Text(entry, value_key);
  const size_t slash = reg_path.find(L'\\');
  HKEY root = RootKey(reg_path.substr(0, slash));
  if (!root || slash == std::wstring::npos || name.empty()) return std::wstring();
  const std::wstring subkey = reg_path.substr(slash + 1);
  std::wstring text;
  if (base::RegReadString(root, subkey.c_str(), name.c_str(), &text, kMaxRegistryBytes, KEY_WOW64_32KEY)) return text;
  DWORD number = 0;
  if (base::RegReadDword(root, subkey.c_str(), name.c_str(), &number, KEY_WOW64_32KEY)) return std::to_wstring(number);
  return std::wstring();
}

std::wstring ProductInfoFile::Value(int index, const std::string& product_id) const {
  const Json::Value* entry = Entry(product_id);
  if (!entry) return std::wstring();
  switch (index) {
    case 0:
      return RegistryValue(*entry, "channel_reg_key");
    case 1:
      return Join(Value(3, product_id), Text(*entry, "main_process_name"));
    case 2:
      return RegistryValue(*entry, "install_date_reg_key");
    case 3:
      return RegistryValue(*entry, "install_dir_reg_key");
    case 4: {
      // The shared configuration lives with every user's data, not one's.
      std::wstring dir = Text(*entry, "public_config_dir");
      const size_t at = dir.find(L"%appdata%");
      if (at != std::wstring::npos) dir.replace(at, 9, ShellFolder(CSIDL_COMMON_APPDATA));
      return dir;
    }
    case 5:
      return Join(ShellFolder(CSIDL_APPDATA), Text(*entry, "appdata_dir_name"));
    case 6:
      return Join(Value(3, product_id), Text(*entry, "cfg_file_path"));
    case 24:
      return Join(Value(5, product_id), Text(*entry, "appdata_cfg_file_path"));
    case 26:
      return Join(Value(3, product_id), Text(*entry, "app_ver_path"));
    default:
      break;
  }
  if (index < 0 || index >= static_cast<int>(sizeof(kPlainKeys) / sizeof(kPlainKeys[0])) || !kPlainKeys[index]) {
    return std::wstring();
  }
  return Text(*entry, kPlainKeys[index]);
}

std::wstring ProductInfoFile::GeneralValue(const std::string& name, const std::string& product_id) const {
  const Json::Value* entry = Entry(product_id);
  return entry ? Text(*entry, name.c_str()) : std::wstring();
}

}  // namespace trust
