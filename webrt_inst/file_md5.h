// MD5 checks of downloaded installers.
#pragma once

#include <windows.h>

#include <string>

namespace webrt {

// MD5 of a file's content as 32 lower-case hex digits; empty when the file
// cannot be read.
std::wstring FileMd5(const std::wstring& path);

// The same for an open file, read from its start; empty on a read error.
std::wstring HandleMd5(HANDLE file);

// MD5 of a byte string as 32 lower-case hex digits.
std::wstring StringMd5(const std::string& bytes);

// Two digests, neither empty, equal ignoring case.
bool SameMd5(const std::wstring& actual, const std::wstring& expected);

}  // namespace webrt
