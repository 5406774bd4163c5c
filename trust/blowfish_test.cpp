#include "trust/blowfish.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "trust/blowfish_tables.h"

namespace {

std::vector<uint8_t> FromHex(const char* hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    unsigned v = 0;
    std::sscanf(hex + i, "%2x", &v);
    out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

std::string ToHex(const uint8_t* p, size_t n) {
  std::string out;
  char buf[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof(buf), "%02X", p[i]);
    out += buf;
  }
  return out;
}

struct EcbVector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// Eric Young's test set as published with Blowfish by its author.
constexpr EcbVector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The same set's variable-length keys: the first 1..24 bytes of this key
// encrypt FEDCBA9876543210.
constexpr char kLongKey[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
constexpr const char* kSetKeyCiphers[24] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
    "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

TEST(Blowfish, PublishedEcbVectors) {
  for (const EcbVector& v : kEcbVectors) {
    const std::vector<uint8_t> key = FromHex(v.key), plain = FromHex(v.plain);
    trust::CBlowfish bf;
    ASSERT_TRUE(bf.Init(key.data(), key.size(), trust::CBlowfish::kEcb));
    uint8_t out[8];
    ASSERT_EQ(bf.Encrypt(plain.data(), out, 8), 8u);
    EXPECT_EQ(ToHex(out, 8), v.cipher) << "key " << v.key;
    uint8_t back[8];
    ASSERT_EQ(bf.Decrypt(out, back, 8), 1u);
    EXPECT_EQ(ToHex(back, 8), v.plain) << "key " << v.key;
  }
}

TEST(Blowfish, PublishedVariableKeyLengths) {
  const std::vector<uint8_t> key = FromHex(kLongKey), plain = FromHex("FEDCBA9876543210");
  for (size_t len = 1; len <= 24; ++len) {
    trust::CBlowfish bf;
    ASSERT_TRUE(bf.Init(key.data(), len, trust::CBlowfish::kEcb));
    uint8_t out[8];
    bf.Encrypt(plain.data(), out, 8);
    EXPECT_EQ(ToHex(out, 8), kSetKeyCiphers[len - 1]) << "key length " << len;
  }
}

TEST(Blowfish, BlockFunctionWorksOnBigEndianHalves) {
  const std::vector<uint8_t> key = FromHex("0123456789ABCDEF");
  trust::CBlowfish bf;
  ASSERT_TRUE(bf.Init(key.data(), key.size(), trust::CBlowfish::kEcb));
  uint32_t l = 0x11111111, r = 0x11111111;
  bf.EncryptBlock(&l, &r);
  EXPECT_EQ(l, 0x61F9C380u);
  EXPECT_EQ(r, 0x2281B096u);
  bf.DecryptBlock(&l, &r);
  EXPECT_EQ(l, 0x11111111u);
  EXPECT_EQ(r, 0x11111111u);
}

// 16^(exp) mod m, for the digit extraction below.
double PowMod16(long exp, long m) {
  uint64_t result = 1 % m, base = 16 % m;
  for (; exp > 0; exp >>= 1) {
    if (exp & 1) result = result * base % m;
    base = base * base % m;
  }
  return static_cast<double>(result);
}

// Fractional part of sum 16^(d-k) / (8k + j), the Bailey-Borwein-Plouffe series.
double BbpSeries(int j, long d) {
  double s = 0;
  for (long k = 0; k <= d; ++k) {
    s += PowMod16(d - k, 8 * k + j) / (8 * k + j);
    s -= std::floor(s);
  }
  for (long k = d + 1; k <= d + 20; ++k) s += std::pow(16.0, double(d - k)) / (8 * k + j);
  return s - std::floor(s);
}

// Six hexadecimal digits of pi starting `d` digits after the point.
uint32_t PiHexDigits(long d) {
  double x = 4 * BbpSeries(1, d) - 2 * BbpSeries(4, d) - BbpSeries(5, d) - BbpSeries(6, d);
  x -= std::floor(x);
  return static_cast<uint32_t>(x * 16777216.0);
}

TEST(Blowfish, InitialTablesAreTheDigitsOfPi) {
  using trust::blowfish_tables::kInitP;
  using trust::blowfish_tables::kInitS;
  for (int i = 0; i < 18; ++i) EXPECT_EQ(kInitP[i] >> 8, PiHexDigits(8L * i)) << "P" << i;
  // The S-boxes continue the same digit stream; sample them across all four.
  for (int n = 0; n < 1024; n += 31) {
    EXPECT_EQ(kInitS[n / 256][n % 256] >> 8, PiHexDigits(8L * (18 + n))) << "S entry " << n;
  }
  EXPECT_EQ(kInitS[3][255], 0x3AC372E6u);
}

TEST(Blowfish, EcbPadsWithZerosToWholeBlocks) {
  const uint8_t key[] = {'k', 'e', 'y'};
  trust::CBlowfish bf;
  ASSERT_TRUE(bf.Init(key, sizeof(key), trust::CBlowfish::kEcb));
  EXPECT_EQ(bf.PaddedLength(0), 0u);
  EXPECT_EQ(bf.PaddedLength(1), 8u);
  EXPECT_EQ(bf.PaddedLength(8), 8u);
  EXPECT_EQ(bf.PaddedLength(9), 16u);

  const uint8_t text[11] = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  uint8_t out[16];
  ASSERT_EQ(bf.Encrypt(text, out, sizeof(text)), 16u);
  // Each block stands alone, and the last one carries five zero bytes.
  uint8_t second[8] = {'r', 'l', 'd', 0, 0, 0, 0, 0}, second_out[8];
  bf.Encrypt(second, second_out, 8);
  EXPECT_EQ(0, std::memcmp(out + 8, second_out, 8));

  // A partial last block is decrypted as if completed with zeros: the caller
  // hands over 12 bytes and gets two blocks.
  uint8_t back[16];
  EXPECT_EQ(bf.Decrypt(out, back, 16), 2u);
  EXPECT_EQ(0, std::memcmp(back, text, sizeof(text)));
  EXPECT_EQ(back[11], 0);
  EXPECT_EQ(bf.Decrypt(out, back, 12), 2u);
  EXPECT_EQ(bf.Decrypt(out, back, 0), 0u);
}

TEST(Blowfish, CbcChainsBlocksFromZeroAndCountsPadding) {
  const std::vector<uint8_t> key = FromHex("0123456789ABCDEFF0E1D2C3B4A59687");
  trust::CBlowfish cbc, ecb;
  ASSERT_TRUE(cbc.Init(key.data(), key.size(), trust::CBlowfish::kCbc));
  ASSERT_TRUE(ecb.Init(key.data(), key.size(), trust::CBlowfish::kEcb));
  EXPECT_EQ(cbc.PaddedLength(0), 8u);
  EXPECT_EQ(cbc.PaddedLength(5), 8u);
  EXPECT_EQ(cbc.PaddedLength(16), 24u);

  const char text[] = "7654321 Now is t";  // 16 bytes: a whole block of padding follows
  uint8_t out[24];
  ASSERT_EQ(cbc.Encrypt(reinterpret_cast<const uint8_t*>(text), out, 16), 24u);

  // Re-derive the chain with the ECB object: C1 = E(P1), Ci = E(Pi ^ Ci-1).
  uint8_t expect[24], block[8];
  std::memcpy(block, text, 8);
  ecb.Encrypt(block, expect, 8);
  for (int i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(text[8 + i] ^ expect[i]);
  ecb.Encrypt(block, expect + 8, 8);
  for (int i = 0; i < 8; ++i) block[i] = static_cast<uint8_t>(8 ^ expect[8 + i]);
  ecb.Encrypt(block, expect + 16, 8);
  EXPECT_EQ(ToHex(out, 24), ToHex(expect, 24));

  uint8_t back[24];
  ASSERT_EQ(cbc.Decrypt(out, back, 24), 3u);
  EXPECT_EQ(0, std::memcmp(back, text, 16));
  for (int i = 16; i < 24; ++i) EXPECT_EQ(back[i], 8) << i;

  uint8_t short_out[8], short_back[8];
  ASSERT_EQ(cbc.Encrypt(reinterpret_cast<const uint8_t*>(text), short_out, 5), 8u);
  cbc.Decrypt(short_out, short_back, 8);
  EXPECT_EQ(0, std::memcmp(short_back, text, 5));
  EXPECT_EQ(short_back[5], 3);
  EXPECT_EQ(short_back[7], 3);
}

TEST(Blowfish, InPlaceAndUnkeyedUse) {
  trust::CBlowfish bf;
  uint8_t data[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(bf.Encrypt(data, data, 16), 0u);
  EXPECT_FALSE(bf.Init(data, 0, trust::CBlowfish::kEcb));
  EXPECT_EQ(bf.Decrypt(data, data, 16), 0u);

  ASSERT_TRUE(bf.Init(data, 5, trust::CBlowfish::kEcb));
  uint8_t copy[16];
  std::memcpy(copy, data, 16);
  ASSERT_EQ(bf.Encrypt(data, data, 16), 16u);
  EXPECT_NE(0, std::memcmp(copy, data, 16));
  bf.Decrypt(data, data, 16);
  EXPECT_EQ(0, std::memcmp(copy, data, 16));
}

}  // namespace
