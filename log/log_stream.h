// The text of one logging statement: "[I][ 304][app_main_window] " followed by
// whatever the statement streams in. Narrow pieces are widened in the thread's
// ANSI code page, so ASCII text is kept as is.
#pragma once

#include <sstream>
#include <string>
#include <string_view>

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

  template <class T>
  LogStream& operator<<(const T& value) {
    stream_ << value;
    return *this;
  }
  LogStream& operator<<(const char* text);
  LogStream& operator<<(char* text) { return *this << static_cast<const char*>(text); }
  LogStream& operator<<(std::string_view text);
  LogStream& operator<<(const std::string& text) { return *this << std::string_view(text); }

  std::wstring str() const { return stream_.str(); }

 private:
  std::wostringstream stream_;
};

}  // namespace LogUtils
