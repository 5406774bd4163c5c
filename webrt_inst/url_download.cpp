#include "webrt_inst/url_download.h"

#include "base/system_library.h"
#include "log/logger.h"

namespace webrt {

HRESULT UrlDownload::Download(const std::wstring& url, const std::wstring& path,
                              HANDLE stop_event, DWORD timeout_ms, std::wstring* error) {
  using URLDownloadToFileWFn =
      HRESULT(WINAPI*)(IUnknown*, LPCWSTR, LPCWSTR, DWORD, IBindStatusCallback*);
  error_.clear();
  timeout_ms_ = timeout_ms;
  stop_event_ = stop_event;
  start_tick_ = GetTickCount();
  HRESULT hr = E_FAIL;
  if (auto download = base::GetSystemProcAs<URLDownloadToFileWFn>(L"urlmon.dll",
                                                                  "URLDownloadToFileW")) {
    hr = download(nullptr, url.c_str(), path.c_str(), 0, this);
    // Some URL Moniker implementations (Wine's) ignore an abort once data is
    // flowing and report success; a download we cut is a failure regardless.
    if (SUCCEEDED(hr) && !error_.empty()) hr = E_ABORT;
  } else {
    LOG_ERR << "urlmon URLDownloadToFileW unavailable, err=" << GetLastError();
  }
  if (SUCCEEDED(hr)) {
    LOG_DEBUG << "download success url:" << url;
  }
  if (error) *error = error_;
  return hr;
}

HRESULT UrlDownload::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
    *object = static_cast<IBindStatusCallback*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG UrlDownload::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG UrlDownload::Release() {
  const LONG refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT UrlDownload::OnProgress(ULONG progress, ULONG progress_max, ULONG status_code,
                                LPCWSTR status_text) {
  LOG_DEBUG << "ulProgress:" << progress << ",ulProgressMax:" << progress_max
            << ",ulStatusCode:" << status_code << ",text:" << (status_text ? status_text : L"(null)");
  if (stop_event_ && WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0) {
    error_ = L"cancel";
    return E_ABORT;
  }
  if (GetTickCount() - start_tick_ > timeout_ms_) {
    error_ = L"timout";
    return E_ABORT;
  }
  return S_OK;
}

}  // namespace webrt
