#include "trust/shared_sign_record.h"

#include <cstring>

namespace trust {

std::unique_ptr<SharedSignRecord> SharedSignRecord::Open() {
  base::ScopedHandle mapping(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kSharedSignRecordName));
  if (!mapping) return nullptr;
  ScopedView view(MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!view) return nullptr;
  // The creator's size is not stored anywhere else; the mapped region tells
  // how far we may read and write.
  MEMORY_BASIC_INFORMATION info = {};
  if (!VirtualQuery(view.Get(), &info, sizeof(info)) || info.RegionSize < sizeof(DWORD)) return nullptr;
  return std::unique_ptr<SharedSignRecord>(
      new SharedSignRecord(std::move(mapping), std::move(view), info.RegionSize));
}

SharedSignRecord::SharedSignRecord(base::ScopedHandle mapping, ScopedView view, size_t size)
    : mapping_(std::move(mapping)), view_(std::move(view)), size_(size) {}

bool SharedSignRecord::Read(std::string* json) const {
  json->clear();
  const auto* bytes = static_cast<const char*>(view_.Get());
  DWORD length = 0;
  std::memcpy(&length, bytes, sizeof(length));
  if (length > size_ - sizeof(DWORD)) return false;
  json->assign(bytes + sizeof(DWORD), length);
  return true;
}

bool SharedSignRecord::Write(const std::string& json) {
  if (json.size() > size_ - sizeof(DWORD)) return false;
  auto* bytes = static_cast<char*>(view_.Get());
  const DWORD length = static_cast<DWORD>(json.size());
  std::memcpy(bytes + sizeof(DWORD), json.data(), json.size());
  std::memcpy(bytes, &length, sizeof(length));
  return true;
}

}  // namespace trust
