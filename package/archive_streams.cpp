#include "package/archive_streams.h"

#include <cstring>

namespace package {
namespace {

constexpr UInt32 kMaxChunk = 1u << 24;  // a 32-bit process reads in bounded pieces

HRESULT FileSeek(HANDLE file, Int64 offset, UInt32 origin, UInt64* new_position) {
  if (origin > 2) return STG_E_INVALIDFUNCTION;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER result;
  if (!SetFilePointerEx(file, distance, &result, origin)) return LastErrorResult();
  if (new_position) *new_position = static_cast<UInt64>(result.QuadPart);
  return S_OK;
}

HRESULT FileGetSize(HANDLE file, UInt64* size) {
  LARGE_INTEGER value;
  if (!GetFileSizeEx(file, &value)) return LastErrorResult();
  *size = static_cast<UInt64>(value.QuadPart);
  return S_OK;
}

}  // namespace

HRESULT LastErrorResult() {
  DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// --- CInBufferStream ---

bool CInBufferStream::Init(const void* data, Int64 length) {
  if (!data || length <= 0) return false;
  base_ = static_cast<const Byte*>(data);
  current_ = base_;
  length_ = length;
  return true;
}

Z7_COM7F_IMF(CInBufferStream::Read(void* data, UInt32 size, UInt32* processed)) {
  if (processed) *processed = 0;
  Int64 position = current_ - base_;
  if (position < 0 || position + static_cast<Int64>(size) > length_) return E_FAIL;
  if (size) std::memcpy(data, current_, size);
  current_ += size;
  if (processed) *processed = size;
  return S_OK;
}

Z7_COM7F_IMF(CInBufferStream::Seek(Int64 offset, UInt32 origin, UInt64* new_position)) {
  if (origin > 2) return STG_E_INVALIDFUNCTION;
  if (offset >= length_) return E_FAIL;
  Int64 position = 0;
  switch (origin) {
    case 0:
      position = offset;
      break;
    case 1:
      position = (current_ - base_) + offset;
      if (position > length_) return E_FAIL;
      break;
    default:
      if (offset > 0) return E_FAIL;
      position = length_ + offset;
      break;
  }
  // Nothing defines a position before the buffer; refuse it rather than
  // hand the library a pointer outside the caller's memory.
  if (position < 0) return HRESULT_FROM_WIN32(ERROR_NEGATIVE_SEEK);
  current_ = base_ + position;
  if (new_position) *new_position = static_cast<UInt64>(position);
  return S_OK;
}

Z7_COM7F_IMF(CInBufferStream::GetSize(UInt64* size)) {
  if (length_ <= 0) return E_FAIL;
  *size = static_cast<UInt64>(length_);
  return S_OK;
}

// --- CInFileStream ---

bool CInFileStream::Open(const wchar_t* path) {
  file_.Reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_.IsValid();
}

Z7_COM7F_IMF(CInFileStream::Read(void* data, UInt32 size, UInt32* processed)) {
  if (processed) *processed = 0;
  DWORD done = 0;
  if (!ReadFile(file_.Get(), data, size < kMaxChunk ? size : kMaxChunk, &done, nullptr))
    return LastErrorResult();
  if (processed) *processed = done;
  return S_OK;
}

Z7_COM7F_IMF(CInFileStream::Seek(Int64 offset, UInt32 origin, UInt64* new_position)) {
  return FileSeek(file_.Get(), offset, origin, new_position);
}

Z7_COM7F_IMF(CInFileStream::GetSize(UInt64* size)) { return FileGetSize(file_.Get(), size); }

// --- COutFileStream ---

bool COutFileStream::Create(const wchar_t* path) {
  file_.Reset(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  processed_ = 0;
  return file_.IsValid();
}

bool COutFileStream::SetTimes(const FILETIME& time) {
  return SetFileTime(file_.Get(), &time, nullptr, &time) != FALSE;
}

HRESULT COutFileStream::Close() {
  HANDLE file = file_.Release();
  if (!file || file == INVALID_HANDLE_VALUE) return S_OK;
  return CloseHandle(file) ? S_OK : LastErrorResult();
}

Z7_COM7F_IMF(COutFileStream::Write(const void* data, UInt32 size, UInt32* processed)) {
  if (processed) *processed = 0;
  DWORD done = 0;
  if (!WriteFile(file_.Get(), data, size < kMaxChunk ? size : kMaxChunk, &done, nullptr))
    return LastErrorResult();
  processed_ += done;
  if (processed) *processed = done;
  return S_OK;
}

Z7_COM7F_IMF(COutFileStream::Seek(Int64 offset, UInt32 origin, UInt64* new_position)) {
  return FileSeek(file_.Get(), offset, origin, new_position);
}

Z7_COM7F_IMF(COutFileStream::SetSize(UInt64 new_size)) {
  UInt64 current = 0;
  HRESULT hr = FileSeek(file_.Get(), 0, FILE_CURRENT, &current);
  if (hr != S_OK) return hr;
  hr = FileSeek(file_.Get(), static_cast<Int64>(new_size), FILE_BEGIN, nullptr);
  if (hr != S_OK) return hr;
  if (!SetEndOfFile(file_.Get())) return LastErrorResult();
  return FileSeek(file_.Get(), static_cast<Int64>(current), FILE_BEGIN, nullptr);
}

}  // namespace package
