#include "package/extract_7z.h"

#include <string>

#include "package/archive_callbacks.h"
#include "package/archive_streams.h"
#include "package/sevenzip_library.h"
#include "package/temp_workspace.h"

namespace package {
namespace {

// The 7z format handler inside 7z.dll.
const GUID kClsid7zHandler = {0x23170F69, 0x40C1, 0x278A,
                              {0x10, 0x00, 0x00, 0x01, 0x10, 0x07, 0x00, 0x00}};

using CreateObjectFn = HRESULT(WINAPI*)(const GUID* clsid, const GUID* iid, void** object);

bool EnsureDirectory(const wchar_t* path) {
  DWORD attrs = GetFileAttributesW(path);
  if (attrs != INVALID_FILE_ATTRIBUTES) return (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return CreateDirectories(path, nullptr);
}

// Absolute form of the destination, so that every later containment check
// compares like with like.
bool FullDestination(const wchar_t* destination, std::wstring* out) {
  wchar_t buffer[1024];
  DWORD len = GetFullPathNameW(destination, 1024, buffer, nullptr);
  if (len == 0 || len >= 1024) return false;
  out->assign(buffer, len);
  if (out->back() != L'\\') *out += L'\\';
  return true;
}

// Opens `stream` with the 7z handler and expands everything into
// `destination`. Returns the HRESULT that decided the outcome.
HRESULT ExtractStream(const wchar_t* name, IInStream* stream, const std::wstring& destination,
                      Extract7z::IExtractCallback* callback, CMyComPtr<IInArchive>& archive) {
  HRESULT hr;
  {
    CArchiveOpenCallback* open_impl = new CArchiveOpenCallback;
    CMyComPtr<IArchiveOpenCallback> open_callback(open_impl);
    hr = archive->Open(stream, nullptr, open_callback);
  }
  // S_FALSE: not a 7z archive.
  if (hr != S_OK) return hr == S_FALSE ? HRESULT_FROM_WIN32(ERROR_BAD_FORMAT) : hr;

  hr = CheckItemPaths(archive, destination);
  if (hr != S_OK) {
    archive->Close();
    return hr;
  }

  CArchiveExtractCallback* extract_impl = new CArchiveExtractCallback;
  CMyComPtr<IArchiveExtractCallback> extract_callback(extract_impl);
  extract_impl->Init(archive, destination, callback);

  if (callback) callback->OnExtractBegin(name, destination.c_str());
  hr = archive->Extract(nullptr, static_cast<UInt32>(-1), 0, extract_callback);
  extract_impl->DiscardUnfinished();
  if (hr == S_OK && extract_impl->ErrorCount() != 0) hr = kErrorDamagedItem;
  if (callback) callback->OnExtractEnd(hr == S_OK ? 1 : 0);

  archive->Close();
  return hr;
}

// Decoder threads for one extraction: every processor the process may run on,
// at most kMaxDecoderThreads. An LZMA2 stream cut into independent blocks is
// then decoded on all of them while the extracting thread writes the files;
// the cap bounds the memory of a 32-bit process, since every thread holds a
// whole block's input and output.
constexpr UInt32 kMaxDecoderThreads = 4;

UInt32 DecoderThreads() {
  DWORD_PTR process_mask = 0, system_mask = 0;
  UInt32 count = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask)) {
    for (; process_mask; process_mask &= process_mask - 1) ++count;
  }
  if (count == 0) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    count = info.dwNumberOfProcessors;
  }
  return count == 0 ? 1 : (count > kMaxDecoderThreads ? kMaxDecoderThreads : count);
}

// Tells the handler how many decoder threads it may use ("mt"). A library
// without the property interface keeps its own choice, so a refusal is not
// an error.
void SetDecoderThreads(IInArchive* archive) {
  CMyComPtr<ISetProperties> properties;
  if (archive->QueryInterface(IID_ISetProperties, reinterpret_cast<void**>(&properties)) != S_OK ||
      !properties) {
    return;
  }
  const wchar_t* names[] = {L"mt"};
  PROPVARIANT values[1];
  PropVariantInit(&values[0]);
  values[0].vt = VT_UI4;
  values[0].ulVal = DecoderThreads();
  properties->SetProperties(names, values, 1);
}

HRESULT CreateHandler(CMyComPtr<IInArchive>& archive) {
  auto create = reinterpret_cast<CreateObjectFn>(reinterpret_cast<void*>(
      CSevenZipLibrary::GetInstance()->GetProc("CreateObject")));
  if (!create) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  IInArchive* object = nullptr;
  HRESULT hr = create(&kClsid7zHandler, &IID_IInArchive, reinterpret_cast<void**>(&object));
  if (hr != S_OK || !object) return FAILED(hr) ? hr : E_FAIL;
  archive.Attach(object);  // CreateObject handed us its reference
  SetDecoderThreads(archive);
  return S_OK;
}

int Finish(HRESULT hr, HRESULT* result) {
  if (result) *result = hr;
  return hr == S_OK ? 0 : -1;
}

}  // namespace

int ExtractArchive(const wchar_t* archive_path, const wchar_t* destination,
                   Extract7z::IExtractCallback* callback, HRESULT* result) {
  std::wstring dest;
  if (!archive_path || !destination || !FullDestination(destination, &dest))
    return Finish(E_INVALIDARG, result);
  if (!EnsureDirectory(dest.c_str())) return Finish(LastErrorResult(), result);

  CMyComPtr<IInArchive> archive;
  HRESULT hr = CreateHandler(archive);
  if (hr != S_OK) return Finish(hr, result);

  CInFileStream* file_impl = new CInFileStream;
  CMyComPtr<IInStream> stream(file_impl);
  if (!file_impl->Open(archive_path)) return Finish(LastErrorResult(), result);
  return Finish(ExtractStream(archive_path, stream, dest, callback, archive), result);
}

int ExtractBuffer(const wchar_t* name, const void* data, long long length,
                  const wchar_t* destination, Extract7z::IExtractCallback* callback,
                  HRESULT* result) {
  std::wstring dest;
  if (!name || !data || !destination || !FullDestination(destination, &dest))
    return Finish(E_INVALIDARG, result);
  if (!EnsureDirectory(dest.c_str())) return Finish(LastErrorResult(), result);

  CMyComPtr<IInArchive> archive;
  HRESULT hr = CreateHandler(archive);
  if (hr != S_OK) return Finish(hr, result);

  CInBufferStream* buffer_impl = new CInBufferStream;
  CMyComPtr<IInStream> stream(buffer_impl);
  if (!buffer_impl->Init(data, length)) return Finish(E_INVALIDARG, result);
  return Finish(ExtractStream(name, stream, dest, callback, archive), result);
}

}  // namespace package
