// One URL Moniker download into a file, cut short by the stop event or by a
// time-out. urlmon is not a known DLL, so it is looked up in System32 at run
// time rather than imported.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "base/critical_section.h"

namespace webrt {

class UrlDownload : public IBindStatusCallback {
 public:
  // Reference count 1: the creator owns the first reference.
  UrlDownload() = default;
  UrlDownload(const UrlDownload&) = delete;
  UrlDownload& operator=(const UrlDownload&) = delete;

  // Blocks until the download ends. The result is URLDownloadToFileW's (or
  // E_FAIL when urlmon cannot be used). `error` receives "cancel" when the
  // stop event cut the download, "timout" when `timeout_ms` passed, else "".
  // Both are watched while the transfer is silent too, and end it within
  // about a second. One call per object.
  HRESULT Download(const std::wstring& url, const std::wstring& path, HANDLE stop_event,
                   DWORD timeout_ms, std::wstring* error);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IBindStatusCallback
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progress_max, ULONG status_code,
                                       LPCWSTR status_text) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

 private:
  virtual ~UrlDownload();

  static DWORD WINAPI TransferThread(void* param);
  // The blocking URL Moniker call, on the transfer thread.
  void Transfer();
  // Records why the download is cut (the first reason stays) and aborts the
  // binding once it is known.
  void Cut(const wchar_t* reason);
  bool IsCut();

  LONG refs_ = 1;
  std::wstring url_;
  std::wstring path_;
  HMODULE pinned_ = nullptr;  // the transfer thread's reference on this module
  CCriticalSection lock_;  // guards the members below
  IBinding* binding_ = nullptr;
  bool binding_aborted_ = false;
  std::wstring error_;
  HRESULT result_ = E_FAIL;
};

}  // namespace webrt
