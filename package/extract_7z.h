// Expanding 7z archives through 7z.dll: the archive in a file or in memory,
// followed item by item through Extract7z::IExtractCallback.
//
// The library must have been loaded first (see sevenzip_library.h). Items are
// only ever written below the destination: an archive that names anything
// else (absolute or drive paths, "..", alternate data streams, device names)
// is refused as a whole before anything is written.
#pragma once

#include <windows.h>

namespace Extract7z {

// Progress of one extraction, called on the extracting thread. Slot order is
// part of the contract with the payload staging code; do not reorder.
class IExtractCallback {
 public:
  virtual int OnExtractBegin(const wchar_t* archive, const wchar_t* destination) = 0;
  // Answer kSkipItem to leave the item out, kStopExtraction to end the
  // whole extraction before this item; any other answer extracts it.
  virtual int OnItemBegin(unsigned index, unsigned count, const wchar_t* path, bool is_dir,
                          const FILETIME* mtime) = 0;
  // Not called for an item skipped by OnItemBegin. kStopExtraction ends the
  // extraction after this item.
  virtual int OnItemEnd(unsigned index, unsigned count, const wchar_t* path, bool is_dir) = 0;
  // `success` is 1 when every item was extracted intact, else 0.
  virtual int OnExtractEnd(int success) = 0;

 protected:
  ~IExtractCallback() = default;
};

constexpr int kSkipItem = 1;
constexpr int kStopExtraction = 2;

}  // namespace Extract7z

namespace package {

// Why an archive was refused: one of its items would land outside the
// destination (or on a device or stream).
constexpr HRESULT kErrorUnsafeItemPath = HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
// The library reported damaged data (CRC or data error) for some item.
constexpr HRESULT kErrorDamagedItem = HRESULT_FROM_WIN32(ERROR_CRC);

// Expands the archive file `archive` into `destination` (created when
// missing). Returns 0 on success, -1 on any failure; `result` (optional)
// receives the HRESULT of the step that decided the outcome.
int ExtractArchive(const wchar_t* archive, const wchar_t* destination,
                   Extract7z::IExtractCallback* callback, HRESULT* result = nullptr);

// Same for an archive held in memory. `name` is only shown to the callback.
// `data` must stay valid for the whole call.
int ExtractBuffer(const wchar_t* name, const void* data, long long length,
                  const wchar_t* destination, Extract7z::IExtractCallback* callback,
                  HRESULT* result = nullptr);

}  // namespace package
