#include "telemetry/crc8.h"

namespace telemetry {

uint8_t Crc8Maxim(const void* data, size_t size) {
  // Bitwise: the identifiers are 42 bytes, a table would buy nothing.
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint8_t crc = 0;
  for (size_t i = 0; i < size; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint8_t>((crc >> 1) ^ 0x8C) : crc >> 1;
  }
  return crc;
}

}  // namespace telemetry
