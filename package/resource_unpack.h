// Writes one resource of the setup to a temporary file and expands it (a
// Microsoft cabinet or a 7z archive) into a fresh directory. Both live in
// protected directories under the staging base (see staging_dir.h).
#pragma once

#include <windows.h>

#include <string>

namespace package {

class CResourceUnpack {
 public:
  enum Format { kCabinet, kSevenZip };

  // True when the resource exists and could be loaded.
  bool Load(HMODULE module, UINT id, const wchar_t* type);
  // Expands the loaded resource into a new protected directory
  // "<base>\{guid}.lib", handed out in `directory`. The temporary archive
  // file is removed either way.
  bool Unpack(std::wstring* directory, Format format);
  // Where the directories are made (default: the staging base). For tests.
  void SetBaseForTesting(const std::wstring& base) { base_ = base; }

 private:
  std::wstring base_;
  const void* data_ = nullptr;
  int size_ = 0;
};

// Expands a cabinet file into `destination`, which must not exist yet: it is
// created with the staging access list and removed again on failure. A
// member whose name contains "..", a drive or stream colon, that would land
// outside the destination, or whose way leads through a link or junction or
// onto something that exists, aborts the whole expansion.
bool ExpandCabinet(const std::wstring& cabinet, const std::wstring& destination);

// Called by ExpandCabinet once the destination exists, before any member is
// written. For tests; null removes it.
using CabinetDestinationHook = void (*)(const std::wstring& destination);
CabinetDestinationHook SetCabinetDestinationHookForTesting(CabinetDestinationHook hook);

}  // namespace package
