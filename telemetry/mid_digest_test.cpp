#include "telemetry/mid_digest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/md5.h"

namespace {

// A from-scratch MD5 compression function (constants from |sin|, as RFC 1321
// defines them) to re-derive the digest independently of base::Md5.
struct Md5State {
  uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

  void Compress(const uint8_t* block) {
    static const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
      x[i] = block[4 * i] | block[4 * i + 1] << 8 | block[4 * i + 2] << 16 | uint32_t(block[4 * i + 3]) << 24;
    }
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (int i = 0; i < 64; ++i) {
      const int round = i / 16;
      uint32_t f;
      int g;
      switch (round) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (b & d) | (c & ~d); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
      }
      const uint32_t k = static_cast<uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
      const int s = kShift[round][i % 4];
      const uint32_t sum = a + f + k + x[g];
      a = d;
      d = c;
      c = b;
      b = b + ((sum << s) | (sum >> (32 - s)));
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
  }

  std::string Hex() const {
    std::string out;
    char byte[3];
    for (uint32_t word : h) {
      for (int i = 0; i < 4; ++i) {
        std::snprintf(byte, sizeof(byte), "%02x", (word >> (8 * i)) & 0xFF);
        out += byte;
      }
    }
    return out;
  }
};

void AppendLength(std::vector<uint8_t>* stream, uint64_t bits) {
  for (int i = 0; i < 8; ++i) stream->push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

// The definition spelt out as the block stream it produces:
//   1. the message with ordinary MD5 padding and its bit length;
//   2. the second padding: the pad is 64 bytes (the count is 56 mod 64), whose
//      first 8 bytes complete the still-buffered last block in place of the
//      length (0x80 then zeros) ...
//   3. ... and whose other 56 zeros open a block that ends with the bit count
//      of message plus first padding.
std::string DeriveMidDigest(const std::string& message) {
  std::vector<uint8_t> stream(message.begin(), message.end());
  const size_t pad = 64 - (message.size() + 8) % 64;
  stream.push_back(0x80);
  stream.resize(message.size() + pad, 0);
  AppendLength(&stream, uint64_t(message.size()) * 8);
  std::vector<uint8_t> repeat(stream.end() - 64, stream.end() - 8);
  repeat.push_back(0x80);
  repeat.resize(64, 0);
  stream.insert(stream.end(), repeat.begin(), repeat.end());
  stream.resize(stream.size() + 56, 0);
  AppendLength(&stream, uint64_t(message.size() + pad) * 8);

  Md5State md5;
  for (size_t pos = 0; pos < stream.size(); pos += 64) md5.Compress(&stream[pos]);
  return md5.Hex();
}

TEST(MidDigest, KnownValues) {
  EXPECT_EQ(telemetry::MidDigest(""), "5d2735c78b4ad61d0f6b5933aef45e4f");
  EXPECT_EQ(telemetry::MidDigest("abc"), "ab32b7d610b8276088dc6cdcfe9adbf3");
  EXPECT_EQ(telemetry::MidDigest("Mid2Failed"), "30908dae359c9665d70190674e7dc5a0");
}

TEST(MidDigest, MatchesTheDefinitionRederived) {
  // The re-derivation must itself agree with the known values ...
  EXPECT_EQ(DeriveMidDigest("abc"), "ab32b7d610b8276088dc6cdcfe9adbf3");
  EXPECT_EQ(DeriveMidDigest("Mid2Failed"), "30908dae359c9665d70190674e7dc5a0");
  // ... and the unit with it over every padding case (55, 56, 63, 64 ... bytes).
  std::string text;
  for (size_t len = 0; len <= 140; ++len) {
    EXPECT_EQ(telemetry::MidDigest(text), DeriveMidDigest(text)) << "length " << len;
    text.push_back(static_cast<char>('a' + len % 26));
  }
}

TEST(MidDigest, IsNotPlainMd5) {
  EXPECT_EQ(base::Md5Hex("abc", 3), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_NE(telemetry::MidDigest("abc"), base::Md5Hex("abc", 3));
  const std::string mid = telemetry::MidDigest("GenuineIntel:bfebfbff");
  EXPECT_EQ(mid.size(), 32u);
  EXPECT_EQ(mid.find_first_not_of("0123456789abcdef"), std::string::npos);
}

}  // namespace
