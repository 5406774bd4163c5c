// Product information: which of the maker's products is installed here and
// where it keeps its registry values, folders and server addresses. Answers
// come from the product's Sendrake.dll in "Utils" when it loads, else from
// its "ProductInfo.dat" (trust/product_info_file.h).
//
// Initialisation runs under the helper's lock; afterwards it is read-only.
// Every failure is empty text or FALSE.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/critical_section.h"
#include "trust/product_info_file.h"
#include "trust/sendrake_library.h"

namespace trust {

class SendrakeImpl {
 public:
  SendrakeImpl() = default;
  SendrakeImpl(const SendrakeImpl&) = delete;
  SendrakeImpl& operator=(const SendrakeImpl&) = delete;

  // Base folder: the folder of the running module raised by `levels` parent
  // folders.
  BOOL Init(int levels);
  // `base` ends with a backslash: base + "Utils\Sendrake.dll", else the files.
  BOOL InitFromDirectory(const std::wstring& base);
  BOOL InitFromLibrary(const wchar_t* path);

  bool ready() const { return ready_; }
  bool uses_library() const { return uses_library_; }
  std::wstring GetProductId() const { return product_id_; }
  std::wstring GetProductInfoVersion() const { return version_; }
  // Key indices 0-26; no id means the current product, an empty id answers
  // with empty text.
  std::wstring GetValue(int index, const wchar_t* product_id = nullptr) const;
  // Any key of the product's entry by name (e.g. "update_sign_url").
  std::wstring GetGeneralValue(const char* name, const wchar_t* product_id = nullptr) const;

 private:
  std::string ProductKey(const wchar_t* product_id) const;

  CCriticalSection lock_;
  bool ready_ = false;
  bool uses_library_ = false;
  std::wstring product_id_;
  std::wstring version_;
  SendrakeLibrary library_;
  ProductInfoFile file_;
};

// The helper for the running module's own folder, initialised on first use.
// Null only for a caller re-entering from that first initialisation.
std::shared_ptr<SendrakeImpl> SharedSendrake();

}  // namespace trust
