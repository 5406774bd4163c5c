// CRC-8/MAXIM (reflected polynomial 0x8C, initial value 0, no final XOR): the
// check byte of MID2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace telemetry {

uint8_t Crc8Maxim(const void* data, size_t size);

inline uint8_t Crc8Maxim(std::string_view text) { return Crc8Maxim(text.data(), text.size()); }

}  // namespace telemetry
