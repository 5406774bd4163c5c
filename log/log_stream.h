// The text of one logging statement: "[I][ 304][app_main_window] " followed by
// whatever the statement streams in. Narrow pieces are widened in the thread's
// ANSI code page, so ASCII text is kept as is.
//
// Formats like a std::wostringstream with the classic locale (integers in
// decimal, or lowercase hexadecimal after std::hex; a null wide string ends
// the statement's output) without one: a string stream brings the whole
// locale machinery of the static C++ runtime into Palinst.dll.
#pragma once

#include <ios>
#include <string>
#include <string_view>
#include <type_traits>

namespace LogUtils {

// The text between the last path separator and the last '.' of a source path;
// empty when there is no '.' after the last separator. Both '\\' and '/' are
// separators: mingw's __FILE__ uses '/'.
std::wstring SourceBaseName(std::string_view source_path);

class LogStream {
 public:
  // No prefix: the library's own control lines.
  LogStream() = default;
  // Prefix `tag` + "[%4d][base name] ", or `tag` + "[%4d] " when the source
  // path gives no base name.
  LogStream(const wchar_t* tag, int line, const char* source_path);
  LogStream(const LogStream&) = delete;
  LogStream& operator=(const LogStream&) = delete;

  // Integers (bool as 0/1); characters other than wchar_t are not numbers here.
  template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, char> &&
                                          !std::is_same_v<T, wchar_t>, int> = 0>
  LogStream& operator<<(T value) {
    if constexpr (std::is_signed_v<T>) {
      // In hexadecimal a negative value shows its two's complement.
      if (hex_) return Unsigned(static_cast<unsigned long long>(static_cast<std::make_unsigned_t<T>>(value)));
      if (value < 0) return Negative(static_cast<long long>(value));
    }
    return Unsigned(static_cast<unsigned long long>(value));
  }
  LogStream& operator<<(char) = delete;
  LogStream& operator<<(wchar_t c) { return Append(std::wstring_view(&c, 1)); }
  LogStream& operator<<(const wchar_t* text);
  LogStream& operator<<(wchar_t* text) { return *this << static_cast<const wchar_t*>(text); }
  LogStream& operator<<(std::wstring_view text) { return Append(text); }
  LogStream& operator<<(const std::wstring& text) { return Append(text); }
  LogStream& operator<<(const char* text);
  LogStream& operator<<(char* text) { return *this << static_cast<const char*>(text); }
  LogStream& operator<<(std::string_view text);
  LogStream& operator<<(const std::string& text) { return *this << std::string_view(text); }
  // std::hex and std::dec; other manipulators change nothing.
  LogStream& operator<<(std::ios_base& (*manipulator)(std::ios_base&));

  std::wstring str() const { return text_; }

 private:
  LogStream& Append(std::wstring_view text);
  LogStream& Unsigned(unsigned long long value);
  LogStream& Negative(long long value);

  std::wstring text_;
  bool hex_ = false;
  bool failed_ = false;  // a null wide string was streamed
};

}  // namespace LogUtils
