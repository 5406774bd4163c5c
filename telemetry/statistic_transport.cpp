#include "telemetry/statistic_transport.h"

#include <iphlpapi.h>
#include <objbase.h>
#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

#include "base/scoped_handle.h"
#include "base/system_library.h"

namespace telemetry {
namespace {

// urlmon, wininet and iphlpapi are not libraries Windows always takes from
// System32, so they are bound from there at run time. They are bound on the
// caller's thread so that a sender thread never enters the loader.
ConnectivityApi BindConnectivity() {
  ConnectivityApi api;
  api.connected = base::GetSystemProcAs<decltype(api.connected)>(L"wininet.dll", "InternetGetConnectedState");
  api.adapters = base::GetSystemProcAs<decltype(api.adapters)>(L"iphlpapi.dll", "GetAdaptersInfo");
  return api;
}

// Constant-initialised: it is read before any constructor may have run.
std::atomic<const ConnectivityApi*> g_connectivity_override{nullptr};

struct NetApi {
  using ToFileFn = HRESULT(WINAPI*)(LPUNKNOWN, LPCWSTR, LPCWSTR, DWORD, LPBINDSTATUSCALLBACK);
  using ToCacheFn = HRESULT(WINAPI*)(LPUNKNOWN, LPCWSTR, LPWSTR, DWORD, DWORD, LPBINDSTATUSCALLBACK);

  ConnectivityApi connectivity;
  ToFileFn to_file = nullptr;
  ToCacheFn to_cache = nullptr;

  static NetApi Bind(bool with_connectivity) {
    NetApi api;
    if (with_connectivity) {
      const ConnectivityApi* fake = g_connectivity_override.load();
      api.connectivity = fake ? *fake : BindConnectivity();
    }
    api.to_file = base::GetSystemProcAs<ToFileFn>(L"urlmon.dll", "URLDownloadToFileW");
    api.to_cache = base::GetSystemProcAs<ToCacheFn>(L"urlmon.dll", "URLDownloadToCacheFileW");
    return api;
  }
};

constexpr ULONG kFirstAdapterBuffer = 648;
// Keeps the cache copy's path well inside MAX_PATH.
constexpr size_t kMaxCacheExtension = 128;

}  // namespace

bool IsConnected(const ConnectivityApi& api) {
  if (api.connected) {
    DWORD flags = 0;
    if (api.connected(&flags, 0) &&
        (flags & (INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY))) {
      return true;
    }
  }
  if (!api.adapters) return false;
  ULONG size = kFirstAdapterBuffer;
  std::vector<BYTE> buffer(size);
  ULONG rc = api.adapters(buffer.data(), &size);
  if (rc == ERROR_BUFFER_OVERFLOW) {
    buffer.resize(size);
    rc = api.adapters(buffer.data(), &size);
  }
  if (rc != NO_ERROR) return false;
  for (auto* a = reinterpret_cast<PIP_ADAPTER_INFO>(buffer.data()); a; a = a->Next) {
    if (a->GatewayList.IpAddress.String[0]) return true;
  }
  return false;
}

bool UrlCacheCanName(const std::wstring& url) {
  const size_t dot = url.rfind(L'.');
  if (dot == std::wstring::npos) return true;
  const size_t length = url.size() - dot;
  return length <= kMaxCacheExtension && url.find_first_of(L"\\/:*?\"<>| ", dot) == std::wstring::npos;
}

namespace {

// A fresh empty file in the temporary folder; empty when none can be made.
std::wstring NewTempFile() {
  wchar_t folder[MAX_PATH];
  const DWORD n = GetTempPathW(MAX_PATH, folder);
  wchar_t path[MAX_PATH];
  if (n == 0 || n >= MAX_PATH || !GetTempFileNameW(folder, L"pst", 0, path)) return std::wstring();
  return path;
}

bool Transfer(const NetApi& api, const std::wstring& url, const std::wstring& target_file) {
  if (!target_file.empty()) {
    return api.to_file && SUCCEEDED(api.to_file(nullptr, url.c_str(), target_file.c_str(), 0, nullptr));
  }
  // The reply is not wanted, only whether the request went through.
  if (api.to_cache && UrlCacheCanName(url)) {
    wchar_t cache_file[MAX_PATH] = {};
    const HRESULT hr = api.to_cache(nullptr, url.c_str(), cache_file, MAX_PATH, 0, nullptr);
    if (cache_file[0]) DeleteFileW(cache_file);
    return SUCCEEDED(hr);
  }
  const std::wstring temp_file = NewTempFile();
  if (temp_file.empty()) return false;
  const HRESULT hr = api.to_file ? api.to_file(nullptr, url.c_str(), temp_file.c_str(), 0, nullptr) : E_FAIL;
  DeleteFileW(temp_file.c_str());
  return SUCCEEDED(hr);
}

// What a sender thread needs; shared between the thread and a caller that may
// stop waiting for it.
struct TransferJob {
  NetApi api;
  std::wstring url;
  std::wstring target_file;
  StatCompletion completion;
  bool check_connection = false;
  bool succeeded = false;  // published by `done`
  base::ScopedHandle started{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  base::ScopedHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// Given to a sender thread on the heap: its reference to the job and the
// reference to this module that it drops as it ends.
struct Handover {
  std::shared_ptr<TransferJob> job;
  HMODULE pinned = nullptr;
};

// Asynchronous transfers started and not yet finished.
std::atomic<long> g_async_in_flight{0};

void RunJob(std::shared_ptr<TransferJob> job) {
  SetEvent(job->started.Get());
  // URL Moniker is COM; each sender thread is its own apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (!job->check_connection || IsConnected(job->api.connectivity)) {
    job->succeeded = Transfer(job->api, job->url, job->target_file);
    if (job->completion) job->completion(job->succeeded);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  SetEvent(job->done.Get());
  if (job->check_connection) --g_async_in_flight;
}

// The module reference is dropped by the very call that ends the thread, so
// the code being run cannot be unmapped under it.
DWORD WINAPI SenderThread(void* param) {
  HMODULE pinned = nullptr;
  {
    std::unique_ptr<Handover> handover(static_cast<Handover*>(param));
    pinned = handover->pinned;
    RunJob(std::move(handover->job));
  }
  if (pinned) FreeLibraryAndExitThread(pinned, 0);
  return 0;
}

// Starts the sender and waits until it has taken over its reference to `job`.
bool StartJob(const std::shared_ptr<TransferJob>& job) {
  if (!job->started || !job->done) return false;
  auto handover = std::make_unique<Handover>();
  handover->job = job;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&SenderThread),
                     &handover->pinned);
  const HMODULE pinned = handover->pinned;
  base::ScopedHandle thread(CreateThread(nullptr, 0, &SenderThread, handover.get(), 0, nullptr));
  if (!thread) {
    if (pinned) FreeLibrary(pinned);
    return false;
  }
  handover.release();  // the thread owns it now
  const HANDLE waits[] = {job->started.Get(), thread.Get()};
  WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  return true;
}

std::shared_ptr<TransferJob> NewJob(const std::wstring& url, const std::wstring& target_file,
                                    bool check_connection) {
  auto job = std::make_shared<TransferJob>();
  job->api = NetApi::Bind(check_connection);
  job->url = url;
  // Target paths are limited like the fixed buffers they come from.
  job->target_file = target_file.substr(0, 520);
  job->check_connection = check_connection;
  return job;
}

}  // namespace

void OverrideConnectivityForTesting(const ConnectivityApi* api) { g_connectivity_override.store(api); }

bool WaitForAsyncTransfers(DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (g_async_in_flight.load() > 0) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(10);
  }
  return true;
}

bool StartAsyncTransfer(const std::wstring& url, const std::wstring& target_file,
                        StatCompletion completion) {
  std::shared_ptr<TransferJob> job = NewJob(url, target_file, true);
  job->completion = std::move(completion);
  ++g_async_in_flight;
  if (StartJob(job)) return true;
  --g_async_in_flight;
  return false;
}

bool TransferWithin(const std::wstring& url, const std::wstring& target_file, DWORD timeout_ms) {
  std::shared_ptr<TransferJob> job = NewJob(url, target_file, false);
  if (!StartJob(job)) return false;
  return WaitForSingleObject(job->done.Get(), timeout_ms) == WAIT_OBJECT_0 && job->succeeded;
}

}  // namespace telemetry
