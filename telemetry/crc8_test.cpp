#include "telemetry/crc8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Crc8Maxim, CheckValueAndKnownBytes) {
  EXPECT_EQ(telemetry::Crc8Maxim("123456789"), 0xA1);
  EXPECT_EQ(telemetry::Crc8Maxim(""), 0x00);
  // Single bytes give the entries of the published Dallas/Maxim table.
  const uint8_t one = 0x01, top = 0x80, all = 0xFF;
  EXPECT_EQ(telemetry::Crc8Maxim(&one, 1), 0x5E);
  EXPECT_EQ(telemetry::Crc8Maxim(&top, 1), 0x8C);
  EXPECT_EQ(telemetry::Crc8Maxim(&all, 1), 0x35);
  // The 1-Wire ROM code example of Maxim's application note 27.
  const uint8_t rom[] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(telemetry::Crc8Maxim(rom, sizeof(rom)), 0xA2);
}

TEST(Crc8Maxim, AppendedCheckByteGivesZero) {
  // With no final XOR and a reflected register, a message followed by its own
  // CRC leaves the register at zero; true for any text.
  for (std::string text : {"ffffffff0123456789abcdef0123456789abcdef10", "a", "eeeeeeee"}) {
    text.push_back(static_cast<char>(telemetry::Crc8Maxim(text)));
    EXPECT_EQ(telemetry::Crc8Maxim(text), 0) << text;
  }
}

}  // namespace
