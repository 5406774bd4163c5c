// The library backend of product information: the maker's Sendrake.dll, a
// file of the installed product, bound only after its signature passes.
//
// Calling form of the library: every getter takes the product id as UTF-8
// text and returns UTF-8 text that the library allocated (or null); the text
// goes back to the library through "free_str".
#pragma once

#include <windows.h>

#include <string>

#include "base/scoped_handle.h"

namespace trust {

constexpr int kProductInfoKeyCount = 27;
// Key indices that callers outside the helper ask for.
constexpr int kChannelIdKey = 0;
constexpr int kAppPathKey = 1;
constexpr int kStatsUrlKey = 7;
constexpr int kAppKey = 15;

class SendrakeLibrary {
 public:
  SendrakeLibrary() = default;
  SendrakeLibrary(const SendrakeLibrary&) = delete;
  SendrakeLibrary& operator=(const SendrakeLibrary&) = delete;

  // Checks the signature, loads the library and binds its entries. False
  // (nothing kept loaded) when the file is missing or refused, when a
  // required entry is missing or when it reports no product information
  // version.
  bool Load(const wchar_t* path);

  std::wstring ProductId() const;
  std::wstring ProductInfoVersion() const;
  // Empty for an index the library has no getter for.
  std::wstring Value(int index, const std::string& product_id) const;
  std::wstring GeneralValue(const std::string& name, const std::string& product_id) const;

 private:
  using FreeFn = void(__cdecl*)(char*);
  using GetterFn = char*(__cdecl*)(const char*);
  using GeneralFn = char*(__cdecl*)(const char*, const char*);

  std::wstring Take(char* text) const;

  base::ScopedModule module_;
  FreeFn free_str_ = nullptr;
  GetterFn product_id_ = nullptr;
  GetterFn installed_ids_ = nullptr;
  GetterFn info_version_ = nullptr;
  GeneralFn general_value_ = nullptr;
  GetterFn getters_[kProductInfoKeyCount] = {};
};

}  // namespace trust
