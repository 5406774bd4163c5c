// Writes one resource of the setup to a temporary file and expands it (a
// Microsoft cabinet or a 7z archive) into a fresh temporary directory.
#pragma once

#include <windows.h>

#include <string>

namespace package {

class CResourceUnpack {
 public:
  enum Format { kCabinet, kSevenZip };

  // True when the resource exists and could be loaded.
  bool Load(HMODULE module, UINT id, const wchar_t* type);
  // Expands the loaded resource into a new temporary directory, handed out in
  // `directory`. The temporary archive file is removed either way.
  bool Unpack(std::wstring* directory, Format format);

 private:
  const void* data_ = nullptr;
  int size_ = 0;
};

// Expands a cabinet file into `destination` (which must exist). A member
// whose name contains "..", a drive or stream colon, or that would land
// outside the destination aborts the whole expansion.
bool ExpandCabinet(const std::wstring& cabinet, const std::wstring& destination);

}  // namespace package
