#include "trust/sendrake_impl.h"

#include "base/string_conv.h"

namespace trust {

namespace {

std::wstring ModuleFolder(int levels) {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleFolder), &self);
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  std::wstring folder(path, n);
  for (int i = 0; i <= levels; ++i) {
    const size_t slash = folder.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::wstring();
    folder.resize(slash);
  }
  return folder + L'\\';
}

}  // namespace

BOOL SendrakeImpl::Init(int levels) {
  const std::wstring base = ModuleFolder(levels < 0 ? 0 : levels);
  return !base.empty() && InitFromDirectory(base);
}

BOOL SendrakeImpl::InitFromDirectory(const std::wstring& base) {
  CAutoLocker lock(lock_);
  if (ready_) return TRUE;
  if (InitFromLibrary((base + L"Utils\\Sendrake.dll").c_str())) return TRUE;
  if (!file_.Load(base)) return FALSE;
  version_ = base::Utf8ToWide(file_.version());
  product_id_ = base::Utf8ToWide(file_.current_product());
  ready_ = true;
  return TRUE;
}

BOOL SendrakeImpl::InitFromLibrary(const wchar_t* path) {
  CAutoLocker lock(lock_);
  if (ready_) return uses_library_;
  if (!library_.Load(path)) return FALSE;
  version_ = library_.ProductInfoVersion();
  product_id_ = library_.ProductId();
  uses_library_ = true;
  ready_ = true;
  return TRUE;
}

std::string SendrakeImpl::ProductKey(const wchar_t* product_id) const {
  return base::WideToUtf8(product_id ? std::wstring(product_id) : product_id_);
}

std::wstring SendrakeImpl::GetValue(int index, const wchar_t* product_id) const {
  const std::string id = ProductKey(product_id);
  if (!ready_ || id.empty()) return std::wstring();
  return uses_library_ ? library_.Value(index, id) : file_.Value(index, id);
}

std::wstring SendrakeImpl::GetGeneralValue(const char* name, const wchar_t* product_id) const {
  const std::string id = ProductKey(product_id);
  if (!ready_ || id.empty() || !name) return std::wstring();
  return uses_library_ ? library_.GeneralValue(name, id) : file_.GeneralValue(name, id);
}

std::shared_ptr<SendrakeImpl> SharedSendrake() {
  static CCriticalSection lock;
  static std::shared_ptr<SendrakeImpl> shared;
  static bool creating = false;
  CAutoLocker hold(lock);
  // Loading the library checks its signature, which may ask for the signer
  // list's address, which asks here again on this same thread.
  if (!shared && !creating) {
    creating = true;
    auto created = std::make_shared<SendrakeImpl>();
    created->Init(0);
    shared = created;
    creating = false;
  }
  return shared;
}

}  // namespace trust
