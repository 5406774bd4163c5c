// The enciphered text form shared with the maker's other programs: Blowfish in
// ECB mode over the UTF-8 bytes, zero-padded to whole blocks, as base64.
//
// Every operation returns false with an empty output on failure (empty input
// or key, malformed base64, allocation failure); nothing throws.
#pragma once

#include <string>
#include <string_view>

namespace trust {

bool EncipherText(std::string_view plain_utf8, std::string_view key_utf8, std::string* base64);

// The plain text ends at its first zero byte, which drops the zero padding.
bool DecipherText(std::string_view base64, std::string_view key_utf8, std::string* plain_utf8);

// UTF-16 forms for callers that hold wide text; both sides go through UTF-8.
bool EncipherText(std::wstring_view plain, std::wstring_view key, std::wstring* base64);
bool DecipherText(std::wstring_view base64, std::wstring_view key, std::wstring* plain);

}  // namespace trust
