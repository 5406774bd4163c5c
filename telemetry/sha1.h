// SHA-1 (FIPS 180-4), used for the hardware digest inside MID2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace telemetry {

class CSha1 {
 public:
  CSha1() { Reset(); }
  void Reset();
  void Update(const void* data, size_t size);
  // Writes the 20-byte digest; the context must be Reset() before reuse.
  void Final(uint8_t digest[20]);

 private:
  void Transform(const uint8_t block[64]);
  uint32_t state_[5];
  uint64_t count_;  // bytes absorbed
  uint8_t buffer_[64];
};

// SHA-1 of `text` as 40 lower-case hex digits.
std::string Sha1Hex(std::string_view text);

}  // namespace telemetry
