#include "trust/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Encode(const std::string& s) {
  return trust::Base64Encode(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

struct Vector {
  const char* plain;
  const char* encoded;
};

// RFC 4648, section 10 (the empty string is covered separately: the decoder
// refuses it).
constexpr Vector kRfc4648[] = {
    {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},  {"foobar", "Zm9vYmFy"},
};

TEST(Base64, Rfc4648VectorsBothWays) {
  EXPECT_EQ(Encode(""), "");
  for (const Vector& v : kRfc4648) {
    EXPECT_EQ(Encode(v.plain), v.encoded);
    std::vector<uint8_t> decoded;
    ASSERT_TRUE(trust::Base64Decode(v.encoded, &decoded)) << v.encoded;
    EXPECT_EQ(std::string(decoded.begin(), decoded.end()), v.plain);
  }
}

TEST(Base64, EveryByteValueAndAlphabetCharacterRoundTrips) {
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  const std::string text = trust::Base64Encode(all.data(), all.size());
  EXPECT_EQ(text.size(), 344u);
  EXPECT_EQ(text.substr(0, 8), "AAECAwQF");
  EXPECT_EQ(text.substr(text.size() - 8), "/P3+/w==");
  std::vector<uint8_t> back;
  ASSERT_TRUE(trust::Base64Decode(text, &back));
  EXPECT_EQ(back, all);

  // All 64 digits in order decode to 48 bytes and encode back unchanged.
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  ASSERT_TRUE(trust::Base64Decode(digits, &back));
  EXPECT_EQ(back.size(), 48u);
  EXPECT_EQ(trust::Base64Encode(back.data(), back.size()), digits);
}

TEST(Base64, DecoderRejectsMalformedText) {
  const char* bad[] = {
      "",           // empty
      "Zg=",        // 3 characters
      "Zm9vY",      // 5 characters
      "Zm9vYmF",    // not a multiple of 4
      "Zm9v\nYmFy", // line break
      "Zm9v YmE",   // space
      "Zm9-YmFy",   // URL-safe alphabet is foreign here
      "Zm9_YmFy",
      "Zm9vYmF\xC3",  // non-ASCII byte
      "Zg=a",       // "=" before the end
      "Z===",       // three "="
      "====",
      "Zg==Zg==",   // padding inside the text
  };
  for (const char* text : bad) {
    std::vector<uint8_t> out = {42};
    EXPECT_FALSE(trust::Base64Decode(text, &out)) << text;
    EXPECT_TRUE(out.empty()) << text;
  }
}

}  // namespace
