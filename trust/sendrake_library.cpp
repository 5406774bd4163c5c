#include "trust/sendrake_library.h"

#include <cstring>

#include "base/string_conv.h"
#include "log/logger.h"
#include "trust/signature_check.h"

namespace trust {

namespace {

// The library's getter for each key index; null where it has none.
constexpr const char* kGetterNames[kProductInfoKeyCount] = {
    "get_channel_id",
    "get_app_path",
    "get_install_date",
    "get_install_dir",
    "get_public_cfg_dir",
    "get_appdata_dir",
    "get_config_file",
    "get_default_stat_url",
    "get_cfg_center_ver_url",
    "get_cfg_center_detail_url",
    "get_cfg_center_msg_wnd_class",
    "get_cfg_center_stub_msg_wnd_class",
    "get_cfg_center_single_mutex",
    "get_dump_url",
    "get_services_url",
    "get_app",
    "get_short_app",
    "get_short_name",
    "get_drive_name",
    "get_drive_path",
    "get_tdi_drive_name",
    "get_tdi_drive_path",
    "get_service_name",
    "get_service_path",
    "get_appdata_config_file_path",
    nullptr,
    nullptr,
};

// The library's texts are short; a longer one is cut rather than trusted.
constexpr size_t kMaxLibraryText = 4095;

template <class Fn>
Fn Entry(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

bool SendrakeLibrary::Load(const wchar_t* path) {
  auto log = LogUtils::GetCore(L"sendrake_impl");
  if (!path || GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
    LOG_CORE_ERR(log) << "Sendrake not exists: " << (path ? path : L"(null)");
    return false;
  }
  if (!SignatureCheck(path, TRUE)) {
    LOG_CORE_ERR(log) << "Sendrake HasMsSign error: " << path;
    return false;
  }
  base::ScopedModule module(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!module) {
    LOG_CORE_ERR(log) << "Sendrake load failed: " << path << " err=" << GetLastError();
    return false;
  }
  free_str_ = Entry<FreeFn>(module.Get(), "free_str");
  product_id_ = Entry<GetterFn>(module.Get(), "get_prduct_id");
  installed_ids_ = Entry<GetterFn>(module.Get(), "get_installed_prduct_id_list");
  info_version_ = Entry<GetterFn>(module.Get(), "get_product_info_ver");
  if (!free_str_ || !product_id_ || !installed_ids_ || !info_version_) {
    LOG_CORE_ERR(log) << "Sendrake lacks a required entry: " << path;
    return false;
  }
  general_value_ = Entry<GeneralFn>(module.Get(), "get_general_value");
  for (int i = 0; i < kProductInfoKeyCount; ++i) {
    getters_[i] = kGetterNames[i] ? Entry<GetterFn>(module.Get(), kGetterNames[i]) : nullptr;
  }
  module_ = std::move(module);
  if (ProductInfoVersion().empty()) {
    LOG_CORE_ERR(log) << "current_product_info_ver is empty: " << path;
    module_.Reset();
    return false;
  }
  return true;
}

std::wstring SendrakeLibrary::Take(char* text) const {
  if (!text) return std::wstring();
  const std::string copy(text, strnlen(text, kMaxLibraryText));
  free_str_(text);
  return base::Utf8ToWide(copy);
}

std::wstring SendrakeLibrary::ProductId() const {
  return module_ ? Take(product_id_("")) : std::wstring();
}

std::wstring SendrakeLibrary::ProductInfoVersion() const {
  return module_ ? Take(info_version_("")) : std::wstring();
}

std::wstring SendrakeLibrary::Value(int index, const std::string& product_id) const {
  if (!module_ || index < 0 || index >= kProductInfoKeyCount || !getters_[index]) return std::wstring();
  return Take(getters_[index](product_id.c_str()));
}

std::wstring SendrakeLibrary::GeneralValue(const std::string& name, const std::string& product_id) const {
  if (!module_ || !general_value_) return std::wstring();
  return Take(general_value_(name.c_str(), product_id.c_str()));
}

}  // namespace trust
