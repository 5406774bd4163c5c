// How a statistics request leaves the machine: one HTTP GET through URL
// Moniker (bound at run time from System32), either on a short-lived thread of
// its own or synchronously with an upper bound on how long the caller waits.
// No reply is read; only whether the transfer succeeded is known.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace telemetry {

// Called once with the transfer's success.
using StatCompletion = std::function<void(bool)>;

// The two system calls behind the connectivity test: WinINet's
// InternetGetConnectedState and IP Helper's GetAdaptersInfo (whose buffer is
// a list of IP_ADAPTER_INFO).
struct ConnectivityApi {
  BOOL(WINAPI* connected)(LPDWORD flags, DWORD reserved) = nullptr;
  ULONG(WINAPI* adapters)(void* buffer, PULONG size) = nullptr;
};

// True when `api.connected` reports a modem, LAN or proxy connection, or when
// any adapter `api.adapters` lists has a gateway address.
bool IsConnected(const ConnectivityApi& api);

// Makes asynchronous senders test connectivity with `api` instead of the
// system's calls; null restores them. For tests only; `api` must outlive
// the senders started while it is in place.
void OverrideConnectivityForTesting(const ConnectivityApi* api);

// Whether URLDownloadToCacheFileW can fetch `url`. Wine names the cache copy
// with the text behind the URL's last '.' as its extension and fails before
// sending anything when that text cannot be part of a file name (the dots of
// "127.0.0.1:port/..." with none after them) or is very long.
bool UrlCacheCanName(const std::wstring& url);

// Starts a detached thread that tests connectivity, transfers and then calls
// `completion` (when given and the transfer was attempted). The transfer goes
// to `target_file` when given (URLDownloadToFileW); else into the URL cache
// (URLDownloadToCacheFileW), or into a temporary file when the cache cannot
// name the copy, and that copy is deleted at once. The thread owns its copy of everything it uses and keeps
// this module loaded until it ends, so it may outlive the caller, a host's
// FreeLibrary or the start of process exit. False when the thread could not
// be started.
bool StartAsyncTransfer(const std::wstring& url, const std::wstring& target_file,
                        StatCompletion completion);

// Waits until no asynchronous transfer is running, at most `timeout_ms`.
// True when none is left. The setup calls it before it ends, so that a
// "fail" sent just before is not cut off by the process exit.
bool WaitForAsyncTransfers(DWORD timeout_ms);

// Transfers on a worker thread and waits at most `timeout_ms` for it. A
// transfer that has not finished by then is abandoned (its thread ends by
// itself, or with the process) and counts as a failure.
bool TransferWithin(const std::wstring& url, const std::wstring& target_file, DWORD timeout_ms);

}  // namespace telemetry
