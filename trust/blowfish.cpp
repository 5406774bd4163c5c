#include "trust/blowfish.h"

#include <cstring>
#include <new>
#include <utility>

#include "trust/blowfish_tables.h"

namespace trust {
namespace {

constexpr int kRounds = 16;
constexpr size_t kBlock = 8;

uint32_t LoadBigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void StoreBigEndian(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace

CBlowfish::CBlowfish()
    : p_(new (std::nothrow) uint32_t[kRounds + 2]), s_(new (std::nothrow) uint32_t[4 * 256]) {}

CBlowfish::~CBlowfish() = default;

uint32_t CBlowfish::F(uint32_t x) const {
  const uint32_t* s = s_.get();
  return ((s[x >> 24] + s[256 + ((x >> 16) & 0xFF)]) ^ s[512 + ((x >> 8) & 0xFF)]) +
         s[768 + (x & 0xFF)];
}

void CBlowfish::EncryptBlock(uint32_t* left, uint32_t* right) const {
  uint32_t l = *left, r = *right;
  for (int i = 0; i < kRounds; ++i) {
    l ^= p_[i];
    r ^= F(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= p_[kRounds];
  l ^= p_[kRounds + 1];
  *left = l;
  *right = r;
}

void CBlowfish::DecryptBlock(uint32_t* left, uint32_t* right) const {
  uint32_t l = *left, r = *right;
  for (int i = kRounds + 1; i > 1; --i) {
    l ^= p_[i];
    r ^= F(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= p_[1];
  l ^= p_[0];
  *left = l;
  *right = r;
}

bool CBlowfish::Init(const uint8_t* key, size_t key_length, Mode mode) {
  keyed_ = false;
  if (!IsValid() || !key || key_length == 0) return false;
  mode_ = mode;
  std::memcpy(p_.get(), blowfish_tables::kInitP, sizeof(blowfish_tables::kInitP));
  std::memcpy(s_.get(), blowfish_tables::kInitS, sizeof(blowfish_tables::kInitS));
  size_t k = 0;
  for (int i = 0; i < kRounds + 2; ++i) {
    uint32_t word = 0;
    for (int j = 0; j < 4; ++j) {
      word = (word << 8) | key[k];
      k = (k + 1) % key_length;
    }
    p_[i] ^= word;
  }
  // Each pair of table entries is replaced by the encryption of the pair
  // before it, starting from an all-zero block.
  uint32_t l = 0, r = 0;
  for (int i = 0; i < kRounds + 2; i += 2) {
    EncryptBlock(&l, &r);
    p_[i] = l;
    p_[i + 1] = r;
  }
  for (int i = 0; i < 4 * 256; i += 2) {
    EncryptBlock(&l, &r);
    s_[i] = l;
    s_[i + 1] = r;
  }
  keyed_ = true;
  return true;
}

size_t CBlowfish::PaddedLength(size_t length) const {
  if (mode_ == kCbc) return (length / kBlock + 1) * kBlock;
  return (length + kBlock - 1) / kBlock * kBlock;
}

size_t CBlowfish::Encrypt(const uint8_t* in, uint8_t* out, size_t length) const {
  if (!keyed_) return 0;
  const size_t padded = PaddedLength(length);
  if (length) std::memmove(out, in, length);
  const uint8_t pad = mode_ == kCbc ? static_cast<uint8_t>(padded - length) : 0;
  std::memset(out + length, pad, padded - length);

  uint32_t prev_l = 0, prev_r = 0;
  for (size_t pos = 0; pos < padded; pos += kBlock) {
    uint32_t l = LoadBigEndian(out + pos), r = LoadBigEndian(out + pos + 4);
    if (mode_ == kCbc) {
      l ^= prev_l;
      r ^= prev_r;
    }
    EncryptBlock(&l, &r);
    prev_l = l;
    prev_r = r;
    StoreBigEndian(l, out + pos);
    StoreBigEndian(r, out + pos + 4);
  }
  return padded;
}

size_t CBlowfish::Decrypt(const uint8_t* in, uint8_t* out, size_t length) const {
  if (!keyed_ || length == 0) return 0;
  const size_t blocks = (length - 1) / kBlock + 1;
  std::memmove(out, in, length);
  std::memset(out + length, 0, blocks * kBlock - length);

  uint32_t prev_l = 0, prev_r = 0;
  for (size_t pos = 0; pos < blocks * kBlock; pos += kBlock) {
    const uint32_t cipher_l = LoadBigEndian(out + pos), cipher_r = LoadBigEndian(out + pos + 4);
    uint32_t l = cipher_l, r = cipher_r;
    DecryptBlock(&l, &r);
    if (mode_ == kCbc) {
      l ^= prev_l;
      r ^= prev_r;
      prev_l = cipher_l;
      prev_r = cipher_r;
    }
    StoreBigEndian(l, out + pos);
    StoreBigEndian(r, out + pos + 4);
  }
  return blocks;
}

}  // namespace trust
