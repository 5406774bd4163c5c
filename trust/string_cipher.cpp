#include "trust/string_cipher.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "base/string_conv.h"
#include "trust/base64.h"
#include "trust/blowfish.h"

namespace trust {
namespace {

const uint8_t* Bytes(std::string_view s) { return reinterpret_cast<const uint8_t*>(s.data()); }

bool EncipherImpl(std::string_view plain, std::string_view key, std::string* base64) {
  if (plain.empty()) return false;
  CBlowfish cipher;
  if (!cipher.Init(Bytes(key), key.size(), CBlowfish::kEcb)) return false;
  std::vector<uint8_t> buffer(cipher.PaddedLength(plain.size()));
  const size_t written = cipher.Encrypt(Bytes(plain), buffer.data(), plain.size());
  if (written == 0) return false;
  *base64 = Base64Encode(buffer.data(), written);
  return true;
}

bool DecipherImpl(std::string_view base64, std::string_view key, std::string* plain) {
  if (base64.empty()) return false;
  std::vector<uint8_t> encrypted;
  if (!Base64Decode(base64, &encrypted) || encrypted.empty()) return false;
  CBlowfish cipher;
  if (!cipher.Init(Bytes(key), key.size(), CBlowfish::kEcb)) return false;
  // One zero byte beyond the last block terminates a text without padding.
  const size_t rounded = (encrypted.size() + 7) / 8 * 8;
  std::vector<uint8_t> decrypted(rounded + 1, 0);
  if (cipher.Decrypt(encrypted.data(), decrypted.data(), encrypted.size()) == 0) return false;
  const auto end = std::find(decrypted.begin(), decrypted.end(), uint8_t{0});
  plain->assign(decrypted.begin(), end);
  return true;
}

}  // namespace

bool EncipherText(std::string_view plain_utf8, std::string_view key_utf8, std::string* base64) {
  base64->clear();
  try {
    if (EncipherImpl(plain_utf8, key_utf8, base64)) return true;
  } catch (const std::bad_alloc&) {
  }
  base64->clear();
  return false;
}

bool DecipherText(std::string_view base64, std::string_view key_utf8, std::string* plain_utf8) {
  plain_utf8->clear();
  try {
    if (DecipherImpl(base64, key_utf8, plain_utf8)) return true;
  } catch (const std::bad_alloc&) {
  }
  plain_utf8->clear();
  return false;
}

bool EncipherText(std::wstring_view plain, std::wstring_view key, std::wstring* base64) {
  base64->clear();
  try {
    std::string narrow;
    if (EncipherText(base::WideToUtf8(plain), base::WideToUtf8(key), &narrow)) {
      // Base64 is ASCII, so widening is a plain copy.
      base64->assign(narrow.begin(), narrow.end());
      return true;
    }
  } catch (const std::bad_alloc&) {
  }
  base64->clear();
  return false;
}

bool DecipherText(std::wstring_view base64, std::wstring_view key, std::wstring* plain) {
  plain->clear();
  try {
    std::string narrow;
    if (DecipherText(base::WideToUtf8(base64), base::WideToUtf8(key), &narrow)) {
      *plain = base::Utf8ToWide(narrow);
      return true;
    }
  } catch (const std::bad_alloc&) {
  }
  plain->clear();
  return false;
}

}  // namespace trust
