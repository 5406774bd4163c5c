#include "webrt_inst/file_md5.h"

#include <windows.h>

#include <vector>

#include "base/md5.h"
#include "base/scoped_handle.h"
#include "base/string_conv.h"

namespace webrt {

std::wstring FileMd5(const std::wstring& path) {
  base::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  return file.IsValid() ? HandleMd5(file.Get()) : std::wstring();
}

std::wstring HandleMd5(HANDLE file) {
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return std::wstring();
  base::Md5 md5;
  std::vector<char> chunk(64 * 1024);
  DWORD read = 0;
  for (;;) {
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) {
      return std::wstring();
    }
    if (read == 0) break;
    md5.Update(chunk.data(), read);
  }
  uint8_t digest[16];
  md5.Final(digest);
  return base::Utf8ToWide(base::HexLower(digest, 16));
}

std::wstring StringMd5(const std::string& bytes) {
  return base::Utf8ToWide(base::Md5Hex(bytes.data(), bytes.size()));
}

bool SameMd5(const std::wstring& actual, const std::wstring& expected) {
  return !actual.empty() && !expected.empty() &&
         CompareStringOrdinal(actual.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace webrt
