#include "package/resource_unpack.h"

#include <setupapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/scoped_handle.h"
#include "package/extract_7z.h"
#include "package/temp_workspace.h"

namespace package {
namespace {

constexpr DWORD kWriteBlock = 4096;

struct CabinetContext {
  std::wstring destination;  // with a trailing backslash
  // Some implementations carry on after FILEOP_ABORT, so the refusal is
  // remembered and decides the result.
  bool aborted = false;
};

UINT CALLBACK CabinetCallback(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) {
  auto* ctx = static_cast<CabinetContext*>(context);
  switch (notification) {
    case SPFILENOTIFY_FILEINCABINET: {
      auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_W*>(param1);
      const wchar_t* name = info->NameInCabinet;
      if (ctx->aborted) return FILEOP_ABORT;
      // "..", drive letters, stream names and rooted names never leave here.
      wchar_t target[MAX_PATH];
      if (!name || !*name || wcsstr(name, L"..") || wcschr(name, L':') || name[0] == L'\\' ||
          name[0] == L'/' || !PathCombineW(target, ctx->destination.c_str(), name) ||
          wcslen(target) <= ctx->destination.size() ||
          _wcsnicmp(target, ctx->destination.c_str(), ctx->destination.size()) != 0) {
        ctx->aborted = true;
        return FILEOP_ABORT;
      }
      wcsncpy(info->FullTargetName, target, MAX_PATH);
      wchar_t parent[MAX_PATH];
      wcsncpy(parent, target, MAX_PATH);
      PathRemoveFileSpecW(parent);
      SHCreateDirectoryExW(nullptr, parent, nullptr);
      return FILEOP_DOIT;
    }
    case SPFILENOTIFY_NEEDNEWCABINET:
      return ERROR_INVALID_PARAMETER;  // multi-cabinet sets are not supported
    case SPFILENOTIFY_FILEEXTRACTED:
      return reinterpret_cast<FILEPATHS_W*>(param1)->Win32Error;
    default:
      return 0;
  }
}

bool WriteFileFully(const std::wstring& path, const void* data, int size) {
  DeleteFileW(path.c_str());
  DeleteFileW(path.c_str());
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const BYTE* p = static_cast<const BYTE*>(data);
  int left = size;
  while (left > 0) {
    const DWORD chunk = left > static_cast<int>(kWriteBlock) ? kWriteBlock : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file.Get(), p, chunk, &written, nullptr) || written != chunk) return false;
    p += chunk;
    left -= static_cast<int>(chunk);
  }
  return true;
}

}  // namespace

bool ExpandCabinet(const std::wstring& cabinet, const std::wstring& destination) {
  CabinetContext ctx{destination};
  if (ctx.destination.empty()) return false;
  if (ctx.destination.back() != L'\\') ctx.destination += L'\\';
  return SetupIterateCabinetW(cabinet.c_str(), 0, &CabinetCallback, &ctx) != FALSE && !ctx.aborted;
}

bool CResourceUnpack::Load(HMODULE module, UINT id, const wchar_t* type) {
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!resource) return false;
  HGLOBAL loaded = LoadResource(module, resource);
  data_ = loaded ? LockResource(loaded) : nullptr;
  size_ = static_cast<int>(SizeofResource(module, resource));
  return data_ != nullptr && size_ > 0;
}

bool CResourceUnpack::Unpack(std::wstring* directory, Format format) {
  if (!data_ || !directory) return false;
  std::wstring archive, dir;
  if (!NewTempPath(&archive) || !WriteFileFully(archive, data_, size_)) {
    if (!archive.empty()) DeleteFileW(archive.c_str());
    return false;
  }
  bool ok = NewTempPath(&dir) && SHCreateDirectory(nullptr, dir.c_str()) == ERROR_SUCCESS;
  if (ok) {
    ok = format == kSevenZip ? ExtractArchive(archive.c_str(), dir.c_str(), nullptr) >= 0
                             : ExpandCabinet(archive, dir);
    if (!ok) DeleteTree(dir);
  }
  DeleteFileW(archive.c_str());
  if (ok) *directory = dir;
  return ok;
}

}  // namespace package
