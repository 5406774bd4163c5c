#include "package/archive_callbacks.h"

#include <utility>

#include "package/item_path.h"
#include "package/temp_workspace.h"

namespace package {
namespace {

const wchar_t kUnnamedItem[] = L"[Content]";

// Owns what GetProperty hands out (a BSTR for paths).
class ScopedPropVariant {
 public:
  ScopedPropVariant() { PropVariantInit(&value_); }
  ~ScopedPropVariant() { PropVariantClear(&value_); }
  ScopedPropVariant(const ScopedPropVariant&) = delete;
  ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;
  PROPVARIANT* Receive() {
    PropVariantClear(&value_);
    return &value_;
  }
  const PROPVARIANT& Get() const { return value_; }

 private:
  PROPVARIANT value_;
};

// Item path as the library reports it: a string, or nothing for a stream
// without a stored name.
HRESULT ReadItemPath(IInArchive* archive, UInt32 index, std::wstring* path) {
  ScopedPropVariant prop;
  HRESULT hr = archive->GetProperty(index, kpidPath, prop.Receive());
  if (hr != S_OK) return hr;
  if (prop.Get().vt == VT_BSTR) {
    const BSTR text = prop.Get().bstrVal;
    path->assign(text ? text : L"", text ? SysStringLen(text) : 0);
    // An empty stored name means the same as none.
    if (path->empty()) path->assign(kUnnamedItem);
    return S_OK;
  }
  if (prop.Get().vt == VT_EMPTY) {
    path->assign(kUnnamedItem);
    return S_OK;
  }
  return E_FAIL;
}

std::wstring ToBackslashes(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// Archives made on Unix carry the mode in the high word; only the DOS bits
// that make sense on an extracted file are applied.
DWORD FileAttributesFrom(UInt32 stored) {
  constexpr UInt32 kUnixExtension = 0x8000;
  if (stored & kUnixExtension) stored &= 0x7FFF;
  DWORD attrs = stored & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

bool IsAllowedTarget(const std::wstring& destination, const std::wstring& item) {
  return IsSafeItemPath(item) && IsPathInside(destination, destination + ToBackslashes(item));
}

}  // namespace

// --- CArchiveOpenCallback ---

Z7_COM7F_IMF(CArchiveOpenCallback::SetTotal(const UInt64*, const UInt64*)) { return S_OK; }
Z7_COM7F_IMF(CArchiveOpenCallback::SetCompleted(const UInt64*, const UInt64*)) { return S_OK; }

Z7_COM7F_IMF(CArchiveOpenCallback::CryptoGetTextPassword(BSTR* password)) {
  // Nothing the setup carries is encrypted; asking means the archive is not ours.
  if (password) *password = nullptr;
  return E_ABORT;
}

// --- CArchiveExtractCallback ---

CArchiveExtractCallback::~CArchiveExtractCallback() { DiscardUnfinished(); }

void CArchiveExtractCallback::Init(IInArchive* archive, const std::wstring& destination,
                                   Extract7z::IExtractCallback* callback) {
  archive_ = archive;
  destination_ = destination;
  if (destination_.empty() || destination_.back() != L'\\') destination_ += L'\\';
  callback_ = callback;
  password_defined_ = false;
  error_count_ = 0;
  refused_path_ = false;
}

Z7_COM7F_IMF(CArchiveExtractCallback::SetTotal(UInt64)) { return S_OK; }
Z7_COM7F_IMF(CArchiveExtractCallback::SetCompleted(const UInt64*)) { return S_OK; }

HRESULT CArchiveExtractCallback::ReadItemProperties(UInt32 index) {
  ScopedPropVariant prop;
  HRESULT hr = archive_->GetProperty(index, kpidAttrib, prop.Receive());
  if (hr != S_OK) return hr;
  if (prop.Get().vt == VT_UI4) {
    attributes_ = prop.Get().ulVal;
    attributes_defined_ = true;
  } else if (prop.Get().vt != VT_EMPTY) {
    return E_FAIL;
  }

  hr = archive_->GetNumberOfItems(&item_count_);
  if (hr != S_OK) return hr;

  hr = archive_->GetProperty(index, kpidIsDir, prop.Receive());
  if (hr != S_OK) return hr;
  if (prop.Get().vt == VT_BOOL) {
    is_dir_ = prop.Get().boolVal != VARIANT_FALSE;
  } else if (prop.Get().vt != VT_EMPTY) {
    return E_FAIL;
  }

  hr = archive_->GetProperty(index, kpidMTime, prop.Receive());
  if (hr != S_OK) return hr;
  if (prop.Get().vt == VT_FILETIME) {
    mtime_ = prop.Get().filetime;
    mtime_defined_ = true;
  } else if (prop.Get().vt != VT_EMPTY) {
    return E_FAIL;
  }
  return S_OK;
}

Z7_COM7F_IMF(CArchiveExtractCallback::GetStream(UInt32 index, ISequentialOutStream** out_stream,
                                                Int32 ask_mode)) {
  *out_stream = nullptr;
  DiscardUnfinished();
  index_ = index;
  item_answer_ = 0;
  is_dir_ = false;
  mtime_defined_ = false;
  attributes_defined_ = false;

  HRESULT hr = ReadItemPath(archive_, index, &item_path_);
  if (hr != S_OK) return hr;
  if (ask_mode != NArchive::NExtract::NAskMode::kExtract) return S_OK;

  full_path_ = destination_ + ToBackslashes(item_path_);
  if (!IsAllowedTarget(destination_, item_path_)) {
    refused_path_ = true;
    return kErrorUnsafeItemPath;
  }

  hr = ReadItemProperties(index);
  if (hr != S_OK) return hr;

  if (callback_) {
    item_answer_ = callback_->OnItemBegin(index, item_count_, item_path_.c_str(), is_dir_,
                                          mtime_defined_ ? &mtime_ : nullptr);
    if (item_answer_ == Extract7z::kSkipItem) return S_OK;
    // Closing the wizard must not wait for the rest of the archive.
    if (item_answer_ == Extract7z::kStopExtraction) return E_ABORT;
  }

  size_t last_separator = full_path_.find_last_of(L'\\');
  if (last_separator >= destination_.size() &&
      !CreateDirectories(full_path_.substr(0, last_separator), nullptr))
    return LastErrorResult();

  if (is_dir_) return CreateDirectories(full_path_, nullptr) ? S_OK : LastErrorResult();

  if (GetFileAttributesW(full_path_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    SetFileAttributesW(full_path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(full_path_.c_str())) return E_ABORT;
  }
  COutFileStream* impl = new COutFileStream;
  CMyComPtr<ISequentialOutStream> stream(impl);
  if (!impl->Create(full_path_.c_str())) return E_ABORT;
  out_file_ = impl;
  out_stream_ = stream;
  *out_stream = stream.Detach();
  return S_OK;
}

Z7_COM7F_IMF(CArchiveExtractCallback::PrepareOperation(Int32 ask_mode)) {
  extract_mode_ = ask_mode == NArchive::NExtract::NAskMode::kExtract;
  return S_OK;
}

HRESULT CArchiveExtractCallback::CloseOutput(bool keep) {
  if (!out_file_) return S_OK;
  HRESULT hr = S_OK;
  if (out_file_->IsOpen()) {
    if (keep && mtime_defined_) out_file_->SetTimes(mtime_);
    hr = out_file_->Close();
  }
  out_file_ = nullptr;
  out_stream_.Release();
  if (!keep) DeleteFileW(full_path_.c_str());
  return hr;
}

void CArchiveExtractCallback::DiscardUnfinished() { CloseOutput(false); }

Z7_COM7F_IMF(CArchiveExtractCallback::SetOperationResult(Int32 result)) {
  bool intact = result == NArchive::NExtract::NOperationResult::kOK;
  if (!intact) ++error_count_;
  // A damaged item is not left behind looking like a good one.
  HRESULT hr = CloseOutput(intact);
  if (hr != S_OK) return hr;
  if (extract_mode_ && attributes_defined_ && intact &&
      item_answer_ != Extract7z::kSkipItem)
    SetFileAttributesW(full_path_.c_str(), FileAttributesFrom(attributes_));
  if (callback_ && extract_mode_ && item_answer_ != Extract7z::kSkipItem &&
      callback_->OnItemEnd(index_, item_count_, item_path_.c_str(), is_dir_) == Extract7z::kStopExtraction)
    return E_ABORT;
  return S_OK;
}

Z7_COM7F_IMF(CArchiveExtractCallback::CryptoGetTextPassword(BSTR* password)) {
  if (password) *password = nullptr;
  return E_ABORT;
}

HRESULT CheckItemPaths(IInArchive* archive, const std::wstring& destination) {
  std::wstring root = destination;
  if (root.empty() || root.back() != L'\\') root += L'\\';
  UInt32 count = 0;
  HRESULT hr = archive->GetNumberOfItems(&count);
  if (hr != S_OK) return hr;
  for (UInt32 i = 0; i < count; ++i) {
    std::wstring item;
    hr = ReadItemPath(archive, i, &item);
    if (hr != S_OK) return hr;
    if (!IsAllowedTarget(root, item)) return kErrorUnsafeItemPath;
  }
  return S_OK;
}

}  // namespace package
