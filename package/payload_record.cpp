#include "package/payload_record.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "base/md5.h"
#include "base/scoped_handle.h"

namespace package {

void Unscramble(const uint8_t* in, uint8_t* out, uint32_t length) {
  if (length == 0) return;
  const uint8_t key = in[0];
  out[0] = key;
  uint32_t i = 1;
  // Four bytes at a time with the key in every lane; the tail byte by byte.
  const uint32_t lanes = key * 0x01010101u;
  for (; i + 4 <= length; i += 4) {
    uint32_t word;
    std::memcpy(&word, in + i, 4);
    word ^= lanes;
    std::memcpy(out + i, &word, 4);
  }
  for (; i < length; ++i) out[i] = in[i] ^ key;
}

int ReadPayload(const std::wstring& path, const PayloadRecord& record, uint8_t** plain) {
  constexpr int kFailed = -10000;
  constexpr int kBadPayload = -10002;
  *plain = nullptr;
  if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return kBadPayload;
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return kFailed;
  base::ScopedHandle mapping(CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return kFailed;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  // Views start on the allocation granularity; the payload need not.
  const DWORD view_start = record.offset - record.offset % info.dwAllocationGranularity;
  const DWORD lead = record.offset - view_start;
  const uint8_t* view = static_cast<const uint8_t*>(
      MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, view_start, SIZE_T(lead) + record.length));
  if (!view) return kFailed;
  const uint8_t* stored = view + lead;
  int code = 1;
  base::Md5 md5;
  md5.Update(stored, record.length);
  uint8_t digest[16];
  md5.Final(digest);
  if (std::memcmp(digest, record.digest, 16) != 0) {
    code = kBadPayload;
  } else if ((*plain = static_cast<uint8_t*>(std::malloc(record.length))) != nullptr) {
    Unscramble(stored, *plain, record.length);
  } else {
    code = kFailed;
  }
  UnmapViewOfFile(view);
  return code;
}

}  // namespace package
