#include "log/log_stream.h"

#include <iomanip>

#include "base/string_conv.h"

namespace LogUtils {

std::wstring SourceBaseName(std::string_view source_path) {
  const size_t separator = source_path.find_last_of("\\/");
  const size_t start = separator == std::string_view::npos ? 0 : separator + 1;
  const size_t dot = source_path.rfind('.');
  if (dot == std::string_view::npos || dot < start) return std::wstring();
  return base::AnsiToWide(source_path.substr(start, dot - start));
}

LogStream::LogStream(const wchar_t* tag, int line, const char* source_path) {
  stream_ << tag << L'[' << std::setw(4) << line << L']';
  const std::wstring base_name = SourceBaseName(source_path ? source_path : "");
  if (!base_name.empty()) stream_ << L'[' << base_name << L']';
  stream_ << L' ';
}

LogStream& LogStream::operator<<(const char* text) {
  return *this << std::string_view(text ? text : "(null)");
}

LogStream& LogStream::operator<<(std::string_view text) {
  stream_ << base::AnsiToWide(text);
  return *this;
}

}  // namespace LogUtils
