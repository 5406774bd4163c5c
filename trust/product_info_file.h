// The file backend of product information: "ProductInfo.dat", the JSON
// description of the maker's products ({"version": ..., "info": [entries]}),
// stored as enciphered text (string cipher) under a key text shared with the
// maker's other programs. A newer "ProductInfoEx.dat" beside it replaces it.
#pragma once

#include <json/json.h>

#include <map>
#include <string>

namespace trust {

extern const char kProductInfoKey[];

// Reads, deciphers and parses one product information file.
bool ReadProductInfoFile(const std::wstring& path, Json::Value* root);

// Brings `extended` forward onto `main`: copied when only it exists, or when
// both exist, differ, and the main file's "version" is empty or sorts (as
// text) before the extended file's. True when `main` was replaced.
bool BringExtendedFileForward(const std::wstring& extended, const std::wstring& main);

class ProductInfoFile {
 public:
  // `base` ends with a backslash. Brings the extended files forward in base
  // and base + "utils\", then reads base + "ProductInfo.dat" or else
  // base + "utils\ProductInfo.dat". The current product is the first entry
  // whose main process exists in `base`.
  bool Load(const std::wstring& base);

  const std::string& version() const { return version_; }
  const std::string& current_product() const { return current_; }
  // Empty for an unknown product or index.
  std::wstring Value(int index, const std::string& product_id) const;
  std::wstring GeneralValue(const std::string& name, const std::string& product_id) const;

 private:
  const Json::Value* Entry(const std::string& product_id) const;
  std::wstring RegistryValue(const Json::Value& entry, const char* value_key) const;

  std::string version_;
  std::string current_;
  std::map<std::string, Json::Value> products_;
};

}  // namespace trust
