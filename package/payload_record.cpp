#include "package/payload_record.h"

#include <cstring>

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

}  // namespace package
