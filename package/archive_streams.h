// Streams handed to 7z.dll: an archive held in memory, an archive file, and
// the files that extracted items are written to.
//
// Reference counting follows 7-Zip's CMyUnknownImp: objects start at 0, the
// creator takes the first reference, the last Release deletes. Counts are not
// interlocked; an object stays on the thread that made it.
#pragma once

#include <windows.h>

#include <string>

#include "package/sevenzip_sdk.h"
#include "base/scoped_handle.h"

namespace package {

// Seekable view of a caller-owned buffer; the buffer must outlive the stream.
class CInBufferStream final : public IInStream, public IStreamGetSize, public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_2(IInStream, IStreamGetSize)
  Z7_IFACE_COM7_IMP(ISequentialInStream)
  Z7_IFACE_COM7_IMP(IInStream)
  Z7_IFACE_COM7_IMP(IStreamGetSize)

 public:
  CInBufferStream() = default;
  // False when `data` is null or `length` is not positive.
  bool Init(const void* data, Int64 length);

 private:
  const Byte* base_ = nullptr;
  const Byte* current_ = nullptr;
  Int64 length_ = 0;
};

// An archive file opened for shared reading.
class CInFileStream final : public IInStream, public IStreamGetSize, public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_2(IInStream, IStreamGetSize)
  Z7_IFACE_COM7_IMP(ISequentialInStream)
  Z7_IFACE_COM7_IMP(IInStream)
  Z7_IFACE_COM7_IMP(IStreamGetSize)

 public:
  CInFileStream() = default;
  bool Open(const wchar_t* path);

 private:
  base::ScopedHandle file_;
};

// A file being written; counts the bytes that reached it.
class COutFileStream final : public IOutStream, public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_1(IOutStream)
  Z7_IFACE_COM7_IMP(ISequentialOutStream)
  Z7_IFACE_COM7_IMP(IOutStream)

 public:
  COutFileStream() = default;
  // Creates or replaces `path` (CREATE_ALWAYS).
  bool Create(const wchar_t* path);
  // Sets creation and last-write time; the access time is left alone.
  bool SetTimes(const FILETIME& time);
  // Closes the file; the Win32 error as an HRESULT (E_FAIL without one).
  HRESULT Close();
  bool IsOpen() const { return file_.IsValid(); }
  UInt64 ProcessedSize() const { return processed_; }

 private:
  base::ScopedHandle file_;
  UInt64 processed_ = 0;
};

// The last Win32 error as an HRESULT, E_FAIL when there is none.
HRESULT LastErrorResult();

}  // namespace package
