#include "trust/string_cipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trust/base64.h"
#include "trust/blowfish.h"

namespace {

// Key texts of the two forms the callers hold (32 hex digits; a GUID text).
constexpr char kHexKey[] = "3FA2C6D19B7E40158C2D6A9F0E4B7D13";
constexpr char kGuidKey[] = "6F1C3A9E-52B7-4D08-9A3E-C0F1B2D47E65";

std::vector<uint8_t> Decode(const std::string& text) {
  std::vector<uint8_t> out;
  EXPECT_TRUE(trust::Base64Decode(text, &out)) << text;
  return out;
}

TEST(StringCipher, EightBytesMakeOneBlockAndTwelveCharacters) {
  std::string text;
  ASSERT_TRUE(trust::EncipherText("12345678", kHexKey, &text));
  EXPECT_EQ(text.size(), 12u);
  EXPECT_EQ(text.back(), '=');
  EXPECT_EQ(Decode(text).size(), 8u);
  std::string plain;
  ASSERT_TRUE(trust::DecipherText(text, kHexKey, &plain));
  EXPECT_EQ(plain, "12345678");
}

TEST(StringCipher, NineBytesMakeTwoBlocksAndPaddingIsCut) {
  std::string text;
  ASSERT_TRUE(trust::EncipherText("123456789", kHexKey, &text));
  EXPECT_EQ(text.size(), 24u);
  const std::vector<uint8_t> blocks = Decode(text);
  ASSERT_EQ(blocks.size(), 16u);

  // The second block is "9" and seven zero bytes, enciphered on its own.
  trust::CBlowfish bf;
  ASSERT_TRUE(bf.Init(reinterpret_cast<const uint8_t*>(kHexKey), 32, trust::CBlowfish::kEcb));
  uint8_t raw[16];
  bf.Decrypt(blocks.data(), raw, 16);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), 9), "123456789");
  for (int i = 9; i < 16; ++i) EXPECT_EQ(raw[i], 0) << i;

  std::string plain;
  ASSERT_TRUE(trust::DecipherText(text, kHexKey, &plain));
  EXPECT_EQ(plain, "123456789");
}

// Known answers from an independent Blowfish (OpenSSL's) with zero padding.
TEST(StringCipher, KnownAnswers) {
  struct Case {
    const char* key;
    const char* plain;
    const char* cipher;
  } cases[] = {
      {kGuidKey, "{\"version\":\"1.0.3\",\"info\":[]}",
       "2YRkH08RMdkr1F+tAwxUCY9fPU0Rd2fQu7Jrx/gyBkU="},
      {kHexKey, "[\"Varnock Ltd\",\"\xE7\xBD\x97\xE5\xAE\x89\"]", "WOQqLvhd6N1pWBXm1OQYOUr2gdNMaVie"},
      {"k", "12345678", "SEdRlA/MXso="},
  };
  for (const Case& c : cases) {
    std::string text, plain;
    ASSERT_TRUE(trust::EncipherText(c.plain, c.key, &text));
    EXPECT_EQ(text, c.cipher);
    ASSERT_TRUE(trust::DecipherText(c.cipher, c.key, &plain));
    EXPECT_EQ(plain, c.plain);
  }
}

TEST(StringCipher, WideTextGoesThroughUtf8) {
  const std::wstring plain = L"[\"Varnock Ltd\",\"\x7F57\x5B89\"]";
  std::wstring text, back;
  ASSERT_TRUE(trust::EncipherText(plain, std::wstring(L"3FA2C6D19B7E40158C2D6A9F0E4B7D13"), &text));
  EXPECT_EQ(text, L"WOQqLvhd6N1pWBXm1OQYOUr2gdNMaVie");
  ASSERT_TRUE(trust::DecipherText(text, std::wstring(L"3FA2C6D19B7E40158C2D6A9F0E4B7D13"), &back));
  EXPECT_EQ(back, plain);
}

TEST(StringCipher, WrongKeyGivesOtherTextButNoFailure) {
  std::string text, plain;
  ASSERT_TRUE(trust::EncipherText("signer list", kHexKey, &text));
  ASSERT_TRUE(trust::DecipherText(text, kGuidKey, &plain));
  EXPECT_NE(plain, "signer list");
}

TEST(StringCipher, FailuresLeaveOutputEmpty) {
  std::string out = "stale";
  EXPECT_FALSE(trust::EncipherText("", kHexKey, &out));
  EXPECT_TRUE(out.empty());
  out = "stale";
  EXPECT_FALSE(trust::EncipherText("text", "", &out));
  EXPECT_TRUE(out.empty());

  const char* bad_text[] = {"", "SEdRl", "SEdRlA/MXso", "SEdRlA/MXs*=", "SEdRlA/MXso=\n"};
  for (const char* text : bad_text) {
    out = "stale";
    EXPECT_FALSE(trust::DecipherText(text, "k", &out)) << text;
    EXPECT_TRUE(out.empty()) << text;
  }
  out = "stale";
  EXPECT_FALSE(trust::DecipherText("SEdRlA/MXso=", "", &out));
  EXPECT_TRUE(out.empty());

  std::wstring wide = L"stale";
  EXPECT_FALSE(trust::DecipherText(std::wstring(L"SEdRl"), std::wstring(L"k"), &wide));
  EXPECT_TRUE(wide.empty());
}

TEST(StringCipher, PlainTextEndsAtTheFirstZeroByte) {
  // Another writer's block with a zero inside: everything after it is dropped.
  const uint8_t block[8] = {'a', 'b', 0, 'c', 'd', 'e', 'f', 'g'};
  trust::CBlowfish bf;
  ASSERT_TRUE(bf.Init(reinterpret_cast<const uint8_t*>("k"), 1, trust::CBlowfish::kEcb));
  uint8_t encrypted[8];
  bf.Encrypt(block, encrypted, 8);
  std::string plain;
  ASSERT_TRUE(trust::DecipherText(trust::Base64Encode(encrypted, 8), "k", &plain));
  EXPECT_EQ(plain, "ab");
}

TEST(StringCipher, ShortCipherTextIsCompletedWithZeros) {
  // Four decoded bytes are not a whole block: the block is completed with
  // zeros and decrypted all the same.
  const uint8_t encrypted[8] = {0x48, 0x47, 0x51, 0x94, 0, 0, 0, 0};
  trust::CBlowfish bf;
  ASSERT_TRUE(bf.Init(reinterpret_cast<const uint8_t*>("k"), 1, trust::CBlowfish::kEcb));
  uint8_t raw[9] = {};
  bf.Decrypt(encrypted, raw, 8);
  std::string plain = "stale";
  ASSERT_TRUE(trust::DecipherText(trust::Base64Encode(encrypted, 4), "k", &plain));
  EXPECT_EQ(plain, std::string(reinterpret_cast<const char*>(raw)));
}

}  // namespace
