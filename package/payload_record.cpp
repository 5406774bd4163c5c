#include "package/payload_record.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/md5.h"
#include "base/scoped_handle.h"

namespace package {
namespace {

constexpr DWORD kReadBlock = 1u << 20;

PayloadCheckedHook g_checked_hook = nullptr;

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

}  // namespace

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

PayloadCheckedHook SetPayloadCheckedHookForTesting(PayloadCheckedHook hook) {
  PayloadCheckedHook previous = g_checked_hook;
  g_checked_hook = hook;
  return previous;
}

int ReadPayload(const std::wstring& path, const PayloadRecord& record, uint8_t** plain) {
  constexpr int kFailed = -10000;
  constexpr int kBadPayload = -10002;
  *plain = nullptr;
  if (path.empty() || GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return kBadPayload;
  // Nobody may write to, replace or delete the file while it is open, and the
  // bytes are read once: what the digest covers is exactly what is extracted.
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return kFailed;
  LARGE_INTEGER at;
  at.QuadPart = record.offset;
  if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) return kBadPayload;
  std::unique_ptr<uint8_t, FreeDeleter> buffer(static_cast<uint8_t*>(std::malloc(record.length)));
  if (!buffer) return kFailed;
  // Each block is hashed as soon as it is read, while it is still in the
  // cache: the wizard waits for this digest.
  base::Md5 md5;
  for (uint32_t done = 0; done < record.length;) {
    DWORD read = 0;
    const DWORD wanted = record.length - done < kReadBlock ? record.length - done : kReadBlock;
    if (!ReadFile(file.Get(), buffer.get() + done, wanted, &read, nullptr) || read == 0) return kBadPayload;
    md5.Update(buffer.get() + done, read);
    done += read;
  }
  uint8_t digest[16];
  md5.Final(digest);
  if (std::memcmp(digest, record.digest, 16) != 0) return kBadPayload;
  if (g_checked_hook) g_checked_hook(path);
  Unscramble(buffer.get(), buffer.get(), record.length);
  *plain = buffer.release();
  return 1;
}

}  // namespace package
