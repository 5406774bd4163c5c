// MD5 checks of downloaded installers.
#pragma once

#include <string>

namespace webrt {

// MD5 of a file's content as 32 lower-case hex digits; empty when the file
// cannot be read.
std::wstring FileMd5(const std::wstring& path);

// MD5 of a byte string as 32 lower-case hex digits.
std::wstring StringMd5(const std::string& bytes);

// True only when the file exists, `expected` is not empty and the two digests
// are equal ignoring case.
bool CheckFileMd5(const std::wstring& path, const std::wstring& expected);

}  // namespace webrt
