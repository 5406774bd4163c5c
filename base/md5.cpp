#include "base/md5.h"

#include <cstring>

namespace base {
namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

constexpr uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

}  // namespace

void Md5::Reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  count_ = 0;
  std::memset(buffer_, 0, sizeof(buffer_));
}

// The four rounds written out step by step (as in RFC 1321): the payload
// digest covers tens of megabytes, and the unrolled form is several times
// faster than a loop with per-step table lookups.
#define MD5_STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + x + t;               \
  a = Rotl(a, s) + b
#define MD5_F(x, y, z) (z ^ (x & (y ^ z)))
#define MD5_G(x, y, z) (y ^ (z & (x ^ y)))
#define MD5_H(x, y, z) (x ^ y ^ z)
#define MD5_I(x, y, z) (y ^ (x | ~z))

void Md5::Transform(const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = uint32_t(block[i * 4]) | uint32_t(block[i * 4 + 1]) << 8 |
           uint32_t(block[i * 4 + 2]) << 16 | uint32_t(block[i * 4 + 3]) << 24;
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (int i = 0; i < 16; i += 4) {
    MD5_STEP(MD5_F, a, b, c, d, x[i], kT[i], 7);
    MD5_STEP(MD5_F, d, a, b, c, x[i + 1], kT[i + 1], 12);
    MD5_STEP(MD5_F, c, d, a, b, x[i + 2], kT[i + 2], 17);
    MD5_STEP(MD5_F, b, c, d, a, x[i + 3], kT[i + 3], 22);
  }
  for (int i = 16; i < 32; i += 4) {
    MD5_STEP(MD5_G, a, b, c, d, x[(5 * i + 1) % 16], kT[i], 5);
    MD5_STEP(MD5_G, d, a, b, c, x[(5 * i + 6) % 16], kT[i + 1], 9);
    MD5_STEP(MD5_G, c, d, a, b, x[(5 * i + 11) % 16], kT[i + 2], 14);
    MD5_STEP(MD5_G, b, c, d, a, x[(5 * i + 16) % 16], kT[i + 3], 20);
  }
  for (int i = 32; i < 48; i += 4) {
    MD5_STEP(MD5_H, a, b, c, d, x[(3 * i + 5) % 16], kT[i], 4);
    MD5_STEP(MD5_H, d, a, b, c, x[(3 * i + 8) % 16], kT[i + 1], 11);
    MD5_STEP(MD5_H, c, d, a, b, x[(3 * i + 11) % 16], kT[i + 2], 16);
    MD5_STEP(MD5_H, b, c, d, a, x[(3 * i + 14) % 16], kT[i + 3], 23);
  }
  for (int i = 48; i < 64; i += 4) {
    MD5_STEP(MD5_I, a, b, c, d, x[(7 * i) % 16], kT[i], 6);
    MD5_STEP(MD5_I, d, a, b, c, x[(7 * i + 7) % 16], kT[i + 1], 10);
    MD5_STEP(MD5_I, c, d, a, b, x[(7 * i + 14) % 16], kT[i + 2], 15);
    MD5_STEP(MD5_I, b, c, d, a, x[(7 * i + 21) % 16], kT[i + 3], 21);
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
}

void Md5::Update(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t index = static_cast<size_t>(count_ % 64);
  count_ += size;
  size_t room = 64 - index;
  size_t i = 0;
  if (size >= room) {
    std::memcpy(buffer_ + index, p, room);
    Transform(buffer_);
    for (i = room; i + 64 <= size; i += 64) Transform(p + i);
    index = 0;
  }
  std::memcpy(buffer_ + index, p + i, size - i);
}

void Md5::Final(uint8_t digest[16]) {
  static const uint8_t kPad[64] = {0x80};
  const uint64_t bits = count_ * 8;
  size_t index = static_cast<size_t>(count_ % 64);
  Update(kPad, index < 56 ? 56 - index : 120 - index);
  // The length goes straight into the last block without being counted.
  for (int i = 0; i < 8; ++i) buffer_[56 + i] = static_cast<uint8_t>(bits >> (8 * i));
  Transform(buffer_);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) digest[i * 4 + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
  }
}

std::string HexLower(const uint8_t* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
  return out;
}

std::string Md5Hex(const void* data, size_t size) {
  Md5 md5;
  md5.Update(data, size);
  uint8_t digest[16];
  md5.Final(digest);
  return HexLower(digest, 16);
}

}  // namespace base
