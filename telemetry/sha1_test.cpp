#include "telemetry/sha1.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Vector {
  const char* message;
  const char* digest;
};

// FIPS 180 examples (and the empty message).
constexpr Vector kVectors[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopq"
     "rsmnopqrstnopqrstu",
     "a49b2446a02c645bf419f995b67091253a04a259"},
};

TEST(Sha1, Fips180Vectors) {
  for (const Vector& v : kVectors) EXPECT_EQ(telemetry::Sha1Hex(v.message), v.digest) << v.message;
}

TEST(Sha1, MillionA) {
  const std::string block(1000, 'a');
  telemetry::CSha1 sha1;
  for (int i = 0; i < 1000; ++i) sha1.Update(block.data(), block.size());
  uint8_t digest[20];
  sha1.Final(digest);
  static const uint8_t kExpected[20] = {0x34, 0xaa, 0x97, 0x3c, 0xd4, 0xc4, 0xda, 0xa4, 0xf6, 0x1e,
                                        0xeb, 0x2b, 0xdb, 0xad, 0x27, 0x31, 0x65, 0x34, 0x01, 0x6f};
  for (int i = 0; i < 20; ++i) EXPECT_EQ(digest[i], kExpected[i]) << i;
}

TEST(Sha1, PiecewiseUpdatesMatchOneUpdate) {
  for (size_t len : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
    std::string text(len, '\0');
    for (size_t i = 0; i < len; ++i) text[i] = static_cast<char>(i * 31 + 7);
    telemetry::CSha1 sha1;
    for (size_t pos = 0; pos < len; pos += 11) sha1.Update(text.data() + pos, std::min<size_t>(11, len - pos));
    uint8_t digest[20];
    sha1.Final(digest);
    std::string hex;
    char byte[3];
    for (uint8_t b : digest) {
      std::snprintf(byte, sizeof(byte), "%02x", b);
      hex += byte;
    }
    EXPECT_EQ(hex, telemetry::Sha1Hex(text)) << len;
  }
}

}  // namespace
