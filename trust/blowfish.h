// Blowfish (64-bit blocks, 16 rounds) in ECB or CBC mode. Each 8-byte block is
// two big-endian 32-bit halves, left then right.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace trust {

class CBlowfish {
 public:
  enum Mode { kEcb = 0, kCbc = 1 };

  // Allocates the P-array and S-boxes; IsValid() is false when that failed.
  CBlowfish();
  ~CBlowfish();
  CBlowfish(const CBlowfish&) = delete;
  CBlowfish& operator=(const CBlowfish&) = delete;

  bool IsValid() const { return p_ != nullptr && s_ != nullptr; }

  // The standard key schedule. False (and the object unusable) for an empty
  // key or when the tables could not be allocated.
  bool Init(const uint8_t* key, size_t key_length, Mode mode);

  // Bytes Encrypt writes for `length` input bytes: ECB rounds up to whole
  // blocks with zeros (0 stays 0); CBC always adds 1 to 8 bytes, each holding
  // the padding count.
  size_t PaddedLength(size_t length) const;

  // Encrypts `length` bytes of `in` into `out`, which must hold
  // PaddedLength(length) bytes (`in` == `out` is allowed). Returns the number
  // of bytes written, 0 when the object is not keyed.
  size_t Encrypt(const uint8_t* in, uint8_t* out, size_t length) const;

  // Decrypts ((length - 1) / 8) + 1 blocks: a partial last block is completed
  // with zeros, so `out` must hold `length` rounded up to a multiple of 8.
  // Padding is left in place. Returns the number of blocks, 0 when nothing
  // was decrypted.
  size_t Decrypt(const uint8_t* in, uint8_t* out, size_t length) const;

  // The bare block function on two halves, for the published vectors.
  void EncryptBlock(uint32_t* left, uint32_t* right) const;
  void DecryptBlock(uint32_t* left, uint32_t* right) const;

 private:
  uint32_t F(uint32_t x) const;

  std::unique_ptr<uint32_t[]> p_;  // 18 round keys
  std::unique_ptr<uint32_t[]> s_;  // 4 x 256 S-box entries
  Mode mode_ = kEcb;
  bool keyed_ = false;
};

}  // namespace trust
