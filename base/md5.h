// MD5 message digest (RFC 1321).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace base {

class Md5 {
 public:
  Md5() { Reset(); }
  void Reset();
  void Update(const void* data, size_t size);
  // Pads and processes the length; the 16-byte state is written to `digest`.
  // The context is not reset: the machine identifier's digest finalises the
  // same context a second time on purpose.
  void Final(uint8_t digest[16]);

 private:
  void Transform(const uint8_t block[64]);
  uint32_t state_[4];
  uint64_t count_;  // bytes absorbed through Update (padding included)
  uint8_t buffer_[64];
};

// Lower-case hex of `size` bytes.
std::string HexLower(const uint8_t* bytes, size_t size);

// Plain MD5 of a buffer, as 32 lower-case hex digits.
std::string Md5Hex(const void* data, size_t size);

}  // namespace base
