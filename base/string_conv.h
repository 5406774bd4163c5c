// Conversions between the UTF-16 used inside the setup and the UTF-8 used in
// files, JSON and on the network.
#pragma once

#include <string>
#include <string_view>

namespace base {

// Invalid input sequences become U+FFFD; an empty input gives an empty result.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

// Widens text in the thread's ANSI code page (for narrow printf-style callers).
std::wstring AnsiToWide(std::string_view ansi);

}  // namespace base
