// Callbacks that 7z.dll calls while it opens and expands an archive.
//
// No password is ever supplied: an encrypted archive fails instead of
// prompting. Same reference-counting rules as archive_streams.h.
#pragma once

#include <windows.h>

#include <string>

#include "package/sevenzip_sdk.h"
#include "package/archive_streams.h"
#include "package/extract_7z.h"

namespace package {

class CArchiveOpenCallback final : public IArchiveOpenCallback,
                                   public ICryptoGetTextPassword,
                                   public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_2(IArchiveOpenCallback, ICryptoGetTextPassword)
  Z7_IFACE_COM7_IMP(IArchiveOpenCallback)
  Z7_IFACE_COM7_IMP(ICryptoGetTextPassword)

 public:
  CArchiveOpenCallback() = default;

 private:
  bool password_defined_ = false;
  std::wstring password_;
};

class CArchiveExtractCallback final : public IArchiveExtractCallback,
                                      public ICryptoGetTextPassword,
                                      public CMyUnknownImp {
  Z7_COM_UNKNOWN_IMP_2(IArchiveExtractCallback, ICryptoGetTextPassword)
  Z7_IFACE_COM7_IMP(IProgress)
  Z7_IFACE_COM7_IMP(IArchiveExtractCallback)
  Z7_IFACE_COM7_IMP(ICryptoGetTextPassword)

 public:
  CArchiveExtractCallback() = default;
  ~CArchiveExtractCallback();

  // `destination` gets a trailing backslash when it has none. `callback` is
  // not reference counted and may be null.
  void Init(IInArchive* archive, const std::wstring& destination,
            Extract7z::IExtractCallback* callback);

  // Items whose operation result was not OK.
  UInt64 ErrorCount() const { return error_count_; }
  // Whether an item was refused because of where it would be written.
  bool RefusedPath() const { return refused_path_; }

  // Closes and deletes an item that was opened but never finished (the
  // library stopped midway); it would only be a truncated file.
  void DiscardUnfinished();

 private:
  HRESULT ReadItemProperties(UInt32 index);
  HRESULT CloseOutput(bool keep);

  CMyComPtr<IInArchive> archive_;
  std::wstring destination_;
  std::wstring item_path_;
  std::wstring full_path_;
  bool extract_mode_ = false;
  bool password_defined_ = false;
  FILETIME mtime_ = {};
  bool mtime_defined_ = false;
  UInt32 attributes_ = 0;
  bool attributes_defined_ = false;
  bool is_dir_ = false;
  COutFileStream* out_file_ = nullptr;
  CMyComPtr<ISequentialOutStream> out_stream_;
  UInt64 error_count_ = 0;
  Extract7z::IExtractCallback* callback_ = nullptr;
  int item_answer_ = 0;
  UInt32 index_ = 0;
  UInt32 item_count_ = 0;
  bool refused_path_ = false;
};

// Checks every item path of an opened archive before anything is written.
// S_OK, kErrorUnsafeItemPath, or the library's error.
HRESULT CheckItemPaths(IInArchive* archive, const std::wstring& destination);

}  // namespace package
