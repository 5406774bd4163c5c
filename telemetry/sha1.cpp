#include "telemetry/sha1.h"

#include <cstring>

#include "base/md5.h"

namespace telemetry {
namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void CSha1::Reset() {
  state_[0] = 0x67452301;
  state_[1] = 0xEFCDAB89;
  state_[2] = 0x98BADCFE;
  state_[3] = 0x10325476;
  state_[4] = 0xC3D2E1F0;
  count_ = 0;
  std::memset(buffer_, 0, sizeof(buffer_));
}

void CSha1::Transform(const uint8_t block[64]) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i) {
    w[i] = uint32_t(block[i * 4]) << 24 | uint32_t(block[i * 4 + 1]) << 16 |
           uint32_t(block[i * 4 + 2]) << 8 | uint32_t(block[i * 4 + 3]);
  }
  for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const uint32_t t = Rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = t;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
}

void CSha1::Update(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t index = static_cast<size_t>(count_ % 64);
  count_ += size;
  size_t i = 0;
  if (index + size >= 64) {
    i = 64 - index;
    std::memcpy(buffer_ + index, p, i);
    Transform(buffer_);
    for (; i + 64 <= size; i += 64) Transform(p + i);
    index = 0;
  }
  std::memcpy(buffer_ + index, p + i, size - i);
}

void CSha1::Final(uint8_t digest[20]) {
  static const uint8_t kPad[64] = {0x80};
  const uint64_t bits = count_ * 8;
  const size_t index = static_cast<size_t>(count_ % 64);
  Update(kPad, index < 56 ? 56 - index : 120 - index);
  uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  Update(length, sizeof(length));
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 4; ++j) digest[i * 4 + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
  }
}

std::string Sha1Hex(std::string_view text) {
  CSha1 sha1;
  sha1.Update(text.data(), text.size());
  uint8_t digest[20];
  sha1.Final(digest);
  return base::HexLower(digest, sizeof(digest));
}

}  // namespace telemetry
