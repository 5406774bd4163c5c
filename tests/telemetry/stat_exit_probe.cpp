// Takes a setup run's statistics steps against a loopback endpoint that
// accepts connections and never answers, and ends with the senders still
// blocked. Exits with 7 when all went as it should; a crash shows as an
// exception code instead, a wrong observation as 1.
//
//   stat_exit_probe            asynchronous "start" events, the synchronous
//                              "end", then process exit
//   stat_exit_probe unload     stat_sender_dll starts the events, is freed
//                              while they wait, then the endpoint closes the
//                              connections so that the senders run again
#include <winsock2.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "telemetry/setup_statistics.h"

namespace {

constexpr int kAsyncSends = 4;
constexpr int kAllWell = 7;
constexpr int kWrong = 1;
constexpr wchar_t kSenderDll[] = L"stat_sender_dll.dll";
// Only 32-bit x86 decorates a stdcall export with its argument bytes.
#if defined(_WIN64)
constexpr char kStartSends[] = "StartSends";
#else
constexpr char kStartSends[] = "StartSends@8";
#endif

// Listens on a free loopback port, accepts, and never answers.
class SilentEndpoint {
 public:
  SilentEndpoint() {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (listener_ == INVALID_SOCKET || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        listen(listener_, 16) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentEndpoint() { CloseAll(); }

  unsigned port() const { return port_; }

  // Accepts what arrives within `timeout_ms` and keeps it open, unanswered.
  int AcceptSome(int wanted, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    while (static_cast<int>(accepted_.size()) < wanted && GetTickCount() - start < timeout_ms) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(listener_, &readable);
      timeval wait = {0, 100 * 1000};
      if (select(0, &readable, nullptr, nullptr, &wait) == 1) {
        const SOCKET s = accept(listener_, nullptr, nullptr);
        if (s != INVALID_SOCKET) accepted_.push_back(s);
      }
    }
    return static_cast<int>(accepted_.size());
  }

  void CloseAll() {
    for (SOCKET s : accepted_) closesocket(s);
    accepted_.clear();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    listener_ = INVALID_SOCKET;
  }

 private:
  SOCKET listener_ = INVALID_SOCKET;
  unsigned port_ = 0;
  std::vector<SOCKET> accepted_;
};

std::wstring TemplateFor(unsigned port) {
  return telemetry::FillStatisticsHost(
      L"http://{host}/pc_all?app=pelorix&pid={pid}&mid={mid}&mid2={mid2}&appver={appver}"
      L"&modver={modver}&type={type}&action={action}&ex_ary[ex_flag]=value_added",
      (L"127.0.0.1:" + std::to_wstring(port)).c_str());
}

int ExitWhileSending(SilentEndpoint& endpoint) {
  Statistics()->Init(0, L"install", TemplateFor(endpoint.port()).c_str());
  int started = 0;
  for (int i = 0; i < kAsyncSends; ++i) started += Statistics()->Report(L"start") ? 1 : 0;
  const int connected = endpoint.AcceptSome(started, 5000);

  const DWORD before_end = GetTickCount();
  const bool end_sent = Statistics()->Report(L"end", L"", false);
  std::printf("async sends started %d, connected %d; sync end %s after %lu ms; exiting\n", started,
              connected, end_sent ? "sent" : "abandoned", GetTickCount() - before_end);
  // The sockets stay open: the senders are still waiting for an answer.
  return started == kAsyncSends && connected == kAsyncSends && !end_sent ? kAllWell : kWrong;
}

int UnloadWhileSending(SilentEndpoint& endpoint) {
  using StartSendsFn = int(__stdcall*)(const wchar_t*, int);
  HMODULE dll = LoadLibraryW(kSenderDll);
  auto start_sends =
      dll ? reinterpret_cast<StartSendsFn>(reinterpret_cast<void*>(GetProcAddress(dll, kStartSends)))
          : nullptr;
  if (!start_sends) {
    std::printf("cannot load %ls (%lu)\n", kSenderDll, GetLastError());
    return kWrong;
  }
  const int started = start_sends(TemplateFor(endpoint.port()).c_str(), kAsyncSends);
  const int connected = endpoint.AcceptSome(started, 5000);
  FreeLibrary(dll);
  const bool kept = GetModuleHandleW(kSenderDll) != nullptr;
  // The senders wake up with a closed connection and run their last code.
  endpoint.CloseAll();
  bool unloaded = false;
  for (int i = 0; i < 100 && !unloaded; ++i) {
    Sleep(100);
    unloaded = GetModuleHandleW(kSenderDll) == nullptr;
  }
  std::printf("async sends started %d, connected %d; after FreeLibrary the library was %s, "
              "and %s once the senders ended\n",
              started, connected, kept ? "still mapped" : "gone", unloaded ? "unloaded" : "still mapped");
  return started == kAsyncSends && connected == kAsyncSends && kept && unloaded ? kAllWell : kWrong;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return kWrong;
  SilentEndpoint endpoint;
  if (!endpoint.port()) return kWrong;
  const int result = argc > 1 && wcscmp(argv[1], L"unload") == 0 ? UnloadWhileSending(endpoint)
                                                                  : ExitWhileSending(endpoint);
  std::fflush(stdout);
  return result;
}
