#include "engine/pending_renames.h"

#include <cwchar>

#include "base/scoped_handle.h"
#include "engine/process_image.h"

namespace engine {
namespace {

const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

constexpr DWORD kFirstReadBytes = 0x80000;
constexpr int kReadAttempts = 10;
// "\??\" in front of every path the session manager reads.
constexpr size_t kNativePrefixChars = 4;

// Reads the next string starting at `*pos`; it may lack its terminator at
// the very end of the data.
std::wstring NextString(const wchar_t* data, size_t chars, size_t* pos) {
  size_t start = *pos;
  size_t end = start;
  while (end < chars && data[end] != L'\0') ++end;
  *pos = end < chars ? end + 1 : end;
  return std::wstring(data + start, end - start);
}

const wchar_t* AfterPrefix(const std::wstring& path) {
  return path.size() >= kNativePrefixChars ? path.c_str() + kNativePrefixChars : nullptr;
}

}  // namespace

bool CRegPendingFileRename::InDirectory(const wchar_t* path, const std::wstring& install_dir) {
  // "C:\Apps\Pelorix" must not claim "C:\Apps\Pelorix2\x", which belongs to
  // someone else.
  return path && IsInDirectory(path, install_dir);
}

size_t CRegPendingFileRename::Filter(const wchar_t* data, size_t chars,
                                     const std::wstring& install_dir,
                                     std::vector<PendingRename>* kept) {
  size_t dropped = 0;
  size_t pos = 0;
  while (pos < chars) {
    PendingRename entry;
    entry.source = NextString(data, chars, &pos);
    if (entry.source.empty()) break;  // the list's final terminator
    if (pos >= chars) break;          // a source without a destination
    entry.destination = NextString(data, chars, &pos);

    bool concerns = InDirectory(AfterPrefix(entry.source), install_dir);
    if (!concerns && !entry.destination.empty()) {
      std::wstring target = entry.destination;
      if (target[0] == L'!') target.erase(0, 1);
      concerns = InDirectory(AfterPrefix(target), install_dir);
    }
    if (concerns) {
      ++dropped;
    } else {
      kept->push_back(std::move(entry));
    }
  }
  return dropped;
}

std::vector<wchar_t> CRegPendingFileRename::Serialize(const std::vector<PendingRename>& entries) {
  std::vector<wchar_t> data;
  for (const PendingRename& entry : entries) {
    data.insert(data.end(), entry.source.begin(), entry.source.end());
    data.push_back(L'\0');
    data.insert(data.end(), entry.destination.begin(), entry.destination.end());
    data.push_back(L'\0');
  }
  data.push_back(L'\0');
  return data;
}

bool CRegPendingFileRename::Load(const std::wstring& install_dir) {
  loaded_ = false;
  dropped_ = 0;
  kept_.clear();
  // An empty directory would be a prefix of every entry.
  if (install_dir.empty()) return false;

  base::ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, key.Receive()) !=
      ERROR_SUCCESS)
    return false;

  std::vector<BYTE> buffer;
  DWORD size = kFirstReadBytes;
  DWORD type = REG_NONE;
  LONG status = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < kReadAttempts && status == ERROR_MORE_DATA; ++attempt) {
    if (attempt > 0) size = static_cast<DWORD>(buffer.size() * 2);
    buffer.assign(size, 0);
    status = RegQueryValueExW(key.Get(), kPendingValue, nullptr, &type, buffer.data(), &size);
  }
  if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) return false;

  dropped_ = Filter(reinterpret_cast<const wchar_t*>(buffer.data()), size / sizeof(wchar_t),
                    install_dir, &kept_);
  loaded_ = true;
  return true;
}

bool CRegPendingFileRename::Write() const {
  if (!loaded_) return false;
  if (dropped_ == 0) return true;
  base::ScopedRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, key.Receive()) !=
      ERROR_SUCCESS)
    return false;
  std::vector<wchar_t> data = Serialize(kept_);
  return RegSetValueExW(key.Get(), kPendingValue, 0, REG_MULTI_SZ,
                        reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void PrunePendingRenames(const std::wstring& install_dir) {
  CRegPendingFileRename list;
  // A failed write is not worth stopping an install for: the entries it
  // meant to drop are replayed at restart, as before.
  if (list.Load(install_dir)) list.Write();
}

}  // namespace engine
