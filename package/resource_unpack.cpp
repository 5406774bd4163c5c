#include "package/resource_unpack.h"

#include <setupapi.h>
#include <shlwapi.h>

#include "base/scoped_handle.h"
#include "package/extract_7z.h"
#include "package/staging_dir.h"
#include "package/temp_workspace.h"

namespace package {
namespace {

constexpr DWORD kWriteBlock = 4096;
// Not ".tmp": an expanded directory holds files in use for the rest of the
// run, deleted at the next restart, so the clean-up of stale staging
// directories takes it only when no deletion at restart names it.
constexpr wchar_t kExpandedSuffix[] = L".lib";

struct CabinetContext {
  std::wstring destination;  // with a trailing backslash
  // Some implementations carry on after FILEOP_ABORT, so the refusal is
  // remembered and decides the result.
  bool aborted = false;
};

CabinetDestinationHook g_destination_hook = nullptr;

bool IsPlainDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY;
}

// Creates the directories between `root` (with its trailing backslash) and
// the member `target`. Each one on the way must be a real directory, checked
// after it exists: a link or junction would send the member elsewhere.
bool PrepareMemberPath(const std::wstring& root, const std::wstring& target) {
  for (size_t at = target.find(L'\\', root.size()); at != std::wstring::npos;
       at = target.find(L'\\', at + 1)) {
    const std::wstring dir = target.substr(0, at);
    if (!CreateDirectoryW(dir.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (!IsPlainDirectory(dir)) return false;
  }
  // The destination is new: anything already at the member's place was put
  // there by someone else (or is a second member of that name).
  return GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
}

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
          _wcsnicmp(target, ctx->destination.c_str(), ctx->destination.size()) != 0 ||
          !PrepareMemberPath(ctx->destination, target)) {
        ctx->aborted = true;
        return FILEOP_ABORT;
      }
      wcsncpy(info->FullTargetName, target, MAX_PATH);
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

CabinetDestinationHook SetCabinetDestinationHookForTesting(CabinetDestinationHook hook) {
  CabinetDestinationHook previous = g_destination_hook;
  g_destination_hook = hook;
  return previous;
}

bool ExpandCabinet(const std::wstring& cabinet, const std::wstring& destination) {
  std::wstring root = destination;
  while (!root.empty() && root.back() == L'\\') root.pop_back();
  if (root.empty() || !CreateProtectedDirectory(root)) return false;
  if (g_destination_hook) g_destination_hook(root);
  CabinetContext ctx{root + L'\\'};
  const bool ok = SetupIterateCabinetW(cabinet.c_str(), 0, &CabinetCallback, &ctx) != FALSE && !ctx.aborted;
  if (!ok) DeleteTree(root);
  return ok;
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
  std::wstring base = base_, work, archive, dir, guid;
  if (base.empty() && !StagingBase(&base)) return false;
  // The archive and what comes out of it stay where only administrators can
  // write: the files are loaded or run by this elevated process afterwards.
  if (!CreateProtectedDirectoryIn(base, &work)) return false;
  bool ok = NewTempPathIn(work, nullptr, &archive) && WriteFileFully(archive, data_, size_);
  if (ok && format == kSevenZip) {
    ok = CreateProtectedDirectoryIn(base, &dir, kExpandedSuffix);
    if (ok && ExtractArchive(archive.c_str(), dir.c_str(), nullptr) < 0) {
      DeleteTree(dir);
      ok = false;
    }
  } else if (ok) {
    ok = NewGuidText(&guid);
    dir = base + L"\\" + guid + kExpandedSuffix;
    ok = ok && ExpandCabinet(archive, dir);
  }
  DeleteTree(work);
  if (ok) *directory = dir;
  return ok;
}

}  // namespace package
