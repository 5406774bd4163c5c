// The signer record that the maker's other programs share in memory: a named
// file mapping "CheckSignShareMem" holding a 32-bit length followed by that
// many bytes of UTF-8 JSON. The setup only ever opens it; when no other
// program holds it, there is nothing to read or publish.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "base/scoped_handle.h"

namespace trust {

constexpr wchar_t kSharedSignRecordName[] = L"CheckSignShareMem";

struct ViewTraits {
  using Handle = void*;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { UnmapViewOfFile(h); }
};
using ScopedView = base::ScopedGeneric<ViewTraits>;

class SharedSignRecord {
 public:
  // Null when no program has created the record (or it cannot be mapped).
  static std::unique_ptr<SharedSignRecord> Open();

  // False when the stored length runs past the mapping.
  bool Read(std::string* json) const;
  // False (record unchanged) when the text does not fit the mapping.
  bool Write(const std::string& json);

 private:
  SharedSignRecord(base::ScopedHandle mapping, ScopedView view, size_t size);

  base::ScopedHandle mapping_;
  ScopedView view_;
  size_t size_;
};

}  // namespace trust
