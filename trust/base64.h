// Standard base64 (RFC 4648 alphabet, "=" padding, no line breaks) as the
// enciphered texts use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trust {

std::string Base64Encode(const uint8_t* data, size_t size);

// Strict decoder: the length must be a multiple of 4 and more than 3, every
// character must be in the alphabet, and only the last one or two characters
// may be "=" (each shortening the result by one byte). On failure returns
// false and leaves `out` empty.
bool Base64Decode(std::string_view text, std::vector<uint8_t>* out);

}  // namespace trust
