// Text forms shared by the hardware queries behind MID and MID2.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

namespace telemetry {

// Drops spaces at the end, and at the start too when `leading` is set.
inline std::string TrimSpaces(std::string_view text, bool leading) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  size_t begin = 0;
  if (leading) {
    while (begin < end && text[begin] == ' ') ++begin;
  }
  return std::string(text.substr(begin, end - begin));
}

// A 6-byte adapter address as "%02X%02X%02X%02X%02X%02X".
inline std::string FormatMacAddress(const uint8_t address[6]) {
  char text[13];
  std::snprintf(text, sizeof(text), "%02X%02X%02X%02X%02X%02X", address[0], address[1], address[2],
                address[3], address[4], address[5]);
  return text;
}

// Case-insensitive comparison of identifier texts (ASCII letters only; any
// other character must match exactly). The wide side may come from the
// registry.
template <class CharA, class CharB>
bool EqualsAsciiNoCase(std::basic_string_view<CharA> a, std::basic_string_view<CharB> b) {
  if (a.size() != b.size()) return false;
  auto lower = [](uint32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    using UA = std::make_unsigned_t<CharA>;
    using UB = std::make_unsigned_t<CharB>;
    if (lower(static_cast<UA>(a[i])) != lower(static_cast<UB>(b[i]))) return false;
  }
  return true;
}

inline bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  return EqualsAsciiNoCase<char, char>(a, b);
}

inline bool EqualsAsciiNoCase(std::wstring_view a, std::string_view b) {
  return EqualsAsciiNoCase<wchar_t, char>(a, b);
}

}  // namespace telemetry
