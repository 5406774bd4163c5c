#include "trust/base64.h"

namespace trust {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of a base64 digit, or -1 for anything else ("=" included).
int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8 | data[i + 2];
    out.push_back(kAlphabet[v >> 18]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back(kAlphabet[v & 63]);
  }
  if (size - i == 1) {
    const uint32_t v = uint32_t(data[i]) << 16;
    out.push_back(kAlphabet[v >> 18]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.append("==");
  } else if (size - i == 2) {
    const uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8;
    out.push_back(kAlphabet[v >> 18]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(kAlphabet[(v >> 6) & 63]);
    out.push_back('=');
  }
  return out;
}

bool Base64Decode(std::string_view text, std::vector<uint8_t>* out) {
  out->clear();
  const size_t length = text.size();
  if (length <= 3 || length % 4 != 0) return false;
  size_t padding = 0;
  if (text[length - 1] == '=') padding = text[length - 2] == '=' ? 2 : 1;

  std::vector<uint8_t> bytes;
  bytes.reserve(length / 4 * 3);
  for (size_t pos = 0; pos < length; pos += 4) {
    const bool last = pos + 4 == length;
    uint32_t v = 0;
    for (size_t j = 0; j < 4; ++j) {
      const char c = text[pos + j];
      int digit = DigitValue(c);
      // "=" stands for a zero digit, but only in the padding positions.
      if (digit < 0 && c == '=' && last && j >= 4 - padding) digit = 0;
      if (digit < 0) return false;
      v = (v << 6) | static_cast<uint32_t>(digit);
    }
    bytes.push_back(static_cast<uint8_t>(v >> 16));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  }
  bytes.resize(bytes.size() - padding);
  out->swap(bytes);
  return true;
}

}  // namespace trust
