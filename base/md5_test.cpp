#include "base/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Vector {
  const char* input;
  const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
constexpr Vector kRfc1321[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    };

TEST(Md5, Rfc1321Suite) {
  for (const Vector& v : kRfc1321) {
    EXPECT_EQ(base::Md5Hex(v.input, std::char_traits<char>::length(v.input)), v.digest) << v.input;
  }
  std::string digits;
  for (int i = 0; i < 8; ++i) digits += "1234567890";
  EXPECT_EQ(base::Md5Hex(digits.data(), digits.size()), "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, SplitUpdatesMatchOneUpdate) {
  // Lengths around the 55/56/64-byte padding boundaries, fed in odd pieces.
  for (size_t len : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
    std::string text(len, '\0');
    for (size_t i = 0; i < len; ++i) text[i] = static_cast<char>(i * 7 + 3);
    base::Md5 md5;
    for (size_t pos = 0; pos < len; pos += 13) md5.Update(text.data() + pos, std::min<size_t>(13, len - pos));
    uint8_t digest[16];
    md5.Final(digest);
    EXPECT_EQ(base::HexLower(digest, 16), base::Md5Hex(text.data(), len)) << len;
  }
}

TEST(Md5, MillionA) {
  std::string block(1000, 'a');
  base::Md5 md5;
  for (int i = 0; i < 1000; ++i) md5.Update(block.data(), block.size());
  uint8_t digest[16];
  md5.Final(digest);
  EXPECT_EQ(base::HexLower(digest, 16), "7707d6ae4e027c70eea2a935c2296f21");
}

}  // namespace
