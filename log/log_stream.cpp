#include "log/log_stream.h"

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
  *this << tag << L'[';
  // The line right-aligned in four columns.
  const size_t start = text_.size();
  *this << line;
  const size_t digits = text_.size() - start;
  if (!failed_ && digits < 4) text_.insert(start, 4 - digits, L' ');
  *this << L']';
  const std::wstring base_name = SourceBaseName(source_path ? source_path : "");
  if (!base_name.empty()) *this << L'[' << base_name << L']';
  *this << L' ';
}

LogStream& LogStream::operator<<(const wchar_t* text) {
  // A wide stream given a null string fails, and writes nothing more.
  if (!text) failed_ = true;
  return text ? Append(text) : *this;
}

LogStream& LogStream::operator<<(const char* text) {
  return *this << std::string_view(text ? text : "(null)");
}

LogStream& LogStream::operator<<(std::string_view text) {
  return failed_ ? *this : Append(base::AnsiToWide(text));
}

LogStream& LogStream::operator<<(std::ios_base& (*manipulator)(std::ios_base&)) {
  if (manipulator == static_cast<std::ios_base& (*)(std::ios_base&)>(std::hex)) hex_ = true;
  if (manipulator == static_cast<std::ios_base& (*)(std::ios_base&)>(std::dec)) hex_ = false;
  return *this;
}

LogStream& LogStream::Append(std::wstring_view text) {
  if (!failed_) text_.append(text);
  return *this;
}

LogStream& LogStream::Unsigned(unsigned long long value) {
  wchar_t digits[24];
  wchar_t* p = digits + 24;
  const unsigned base = hex_ ? 16 : 10;
  do {
    *--p = L"0123456789abcdef"[value % base];
    value /= base;
  } while (value);
  return Append(std::wstring_view(p, digits + 24 - p));
}

LogStream& LogStream::Negative(long long value) {
  // The magnitude of the smallest value does not fit the signed type.
  Append(L"-");
  return Unsigned(0ull - static_cast<unsigned long long>(value));
}

}  // namespace LogUtils
