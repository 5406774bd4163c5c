#include "webrt_inst/url_download.h"

#include "base/scoped_handle.h"
#include "base/system_library.h"
#include "log/logger.h"
#include "webrt_inst/scoped_co_init.h"

namespace webrt {
namespace {

// How often the waiting side looks at the stop event and the clock.
constexpr DWORD kPollMs = 100;
// How long an aborted transfer may take to unwind before it is left behind.
constexpr DWORD kAbortGraceMs = 700;

bool Signalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

}  // namespace

UrlDownload::~UrlDownload() {
  if (binding_) binding_->Release();
}

// The transfer runs on its own thread so that this one can watch the stop
// event and the clock even while the server sends nothing: URL Moniker calls
// back only when data or status arrives.
HRESULT UrlDownload::Download(const std::wstring& url, const std::wstring& path,
                              HANDLE stop_event, DWORD timeout_ms, std::wstring* error) {
  url_ = url;
  path_ = path;
  const DWORD start = GetTickCount();

  // The thread owns a reference and one on this module, so a transfer left
  // behind below finishes with its object and its code still there.
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&UrlDownload::TransferThread), &pinned_);
  AddRef();
  base::ScopedHandle thread(CreateThread(nullptr, 0, &UrlDownload::TransferThread, this, 0, nullptr));
  if (!thread.IsValid()) {
    LOG_ERR << "download thread not started, err=" << GetLastError();
    Release();
    if (pinned_) FreeLibrary(pinned_);
    if (error) error->clear();
    return E_FAIL;
  }

  bool ended = false;
  bool cut = false;
  DWORD cut_at = 0;
  while (!(ended = WaitForSingleObject(thread.Get(), kPollMs) == WAIT_OBJECT_0)) {
    if (cut) {
      Cut(nullptr);  // the binding may have started only now
      if (GetTickCount() - cut_at < kAbortGraceMs) continue;
      LOG_ERR << "download did not end after its abort; left behind. url:" << url;
      break;
    }
    const bool stopped = Signalled(stop_event);
    if (stopped || GetTickCount() - start > timeout_ms) {
      Cut(stopped ? L"cancel" : L"timout");
      cut = true;
      cut_at = GetTickCount();
    }
  }

  HRESULT hr = E_ABORT;
  {
    CAutoLocker lock(lock_);
    if (ended) hr = result_;
    // Some URL Moniker implementations (Wine's) ignore an abort once data is
    // flowing and report success; a download we cut is a failure regardless.
    if (SUCCEEDED(hr) && !error_.empty()) hr = E_ABORT;
    if (error) *error = error_;
  }
  if (SUCCEEDED(hr)) {
    LOG_DEBUG << "download success url:" << url;
  }
  return hr;
}

DWORD WINAPI UrlDownload::TransferThread(void* param) {
  auto* self = static_cast<UrlDownload*>(param);
  const HMODULE pinned = self->pinned_;
  self->Transfer();
  self->Release();
  // The module reference goes with the very call that ends the thread.
  if (pinned) FreeLibraryAndExitThread(pinned, 0);
  return 0;
}

void UrlDownload::Transfer() {
  using URLDownloadToFileWFn =
      HRESULT(WINAPI*)(IUnknown*, LPCWSTR, LPCWSTR, DWORD, IBindStatusCallback*);
  ScopedCoInit com;
  HRESULT hr = E_FAIL;
  if (auto download = base::GetSystemProcAs<URLDownloadToFileWFn>(L"urlmon.dll",
                                                                  "URLDownloadToFileW")) {
    hr = download(nullptr, url_.c_str(), path_.c_str(), 0, this);
  } else {
    LOG_ERR << "urlmon URLDownloadToFileW unavailable, err=" << GetLastError();
  }
  CAutoLocker lock(lock_);
  result_ = hr;
}

void UrlDownload::Cut(const wchar_t* reason) {
  IBinding* binding = nullptr;
  {
    CAutoLocker lock(lock_);
    if (reason && error_.empty()) error_ = reason;
    if (error_.empty() || !binding_ || binding_aborted_) return;
    binding_aborted_ = true;
    binding = binding_;
    binding->AddRef();
  }
  // IBinding::Abort may be called from any thread; the transfer then ends
  // with E_ABORT on its own thread.
  const HRESULT hr = binding->Abort();
  LOG_DEBUG << "binding abort, hr=0x" << std::hex << static_cast<unsigned long>(hr) << std::dec;
  binding->Release();
}

bool UrlDownload::IsCut() {
  CAutoLocker lock(lock_);
  return !error_.empty();
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

HRESULT UrlDownload::OnStartBinding(DWORD, IBinding* binding) {
  if (binding) {
    CAutoLocker lock(lock_);
    if (binding_) binding_->Release();
    binding_ = binding;
    binding_->AddRef();
    binding_aborted_ = false;
  }
  return S_OK;
}

HRESULT UrlDownload::OnStopBinding(HRESULT, LPCWSTR) {
  IBinding* binding = nullptr;
  {
    CAutoLocker lock(lock_);
    binding = binding_;
    binding_ = nullptr;
  }
  if (binding) binding->Release();
  return S_OK;
}

HRESULT UrlDownload::OnProgress(ULONG progress, ULONG progress_max, ULONG status_code,
                                LPCWSTR status_text) {
  LOG_DEBUG << "ulProgress:" << progress << ",ulProgressMax:" << progress_max
            << ",ulStatusCode:" << status_code << ",text:" << (status_text ? status_text : L"(null)");
  return IsCut() ? E_ABORT : S_OK;
}

}  // namespace webrt
