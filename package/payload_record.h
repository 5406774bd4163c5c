// The 24-byte record (resource "SETUPDATA") that locates the payload appended
// behind the setup's image and carries its digest.
#pragma once

#include <cstdint>
#include <string>

namespace package {

#pragma pack(push, 1)
struct PayloadRecord {
  uint32_t offset;     // file offset of the payload in the setup executable
  uint32_t length;     // payload length in bytes
  uint8_t digest[16];  // MD5 of the payload as stored (still scrambled)
};
#pragma pack(pop)
static_assert(sizeof(PayloadRecord) == 24, "the record is exactly 24 bytes");

// A field the build never filled in.
constexpr uint32_t kUnfilledField = 0xCCCCCCCC;

// Reads the payload described by `record` from the file at `path` once into
// one heap buffer, checks its digest there and unscrambles it in place
// (`*plain`, `length` bytes; free with std::free). The file stays open
// without write or delete sharing meanwhile. Returns 1, or -10002 for an
// unreadable file or a digest mismatch, -10000 when opening or memory fails.
int ReadPayload(const std::wstring& path, const PayloadRecord& record, uint8_t** plain);

// Called by ReadPayload after the digest matched and before the bytes are
// unscrambled, with the file still open. For tests; null removes it.
using PayloadCheckedHook = void (*)(const std::wstring& path);
PayloadCheckedHook SetPayloadCheckedHookForTesting(PayloadCheckedHook hook);

// Stored byte 0 is the key and stays as it is; every later byte is XORed
// with it. Works in place (`in` may equal `out`).
void Unscramble(const uint8_t* in, uint8_t* out, uint32_t length);

}  // namespace package
