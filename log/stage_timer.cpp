#include "log/stage_timer.h"

#include <windows.h>
#include <psapi.h>

#include <cwchar>

#include "log/logger.h"

namespace LogUtils {
namespace {

ULONGLONG Ticks(const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// GetSystemTimeAsFileTime advances in 10-16 ms steps on Windows; the precise
// form (Windows 8 and later) is looked up so that Windows 7 still starts.
ULONGLONG NowTicks() {
  using PreciseFn = void(WINAPI*)(LPFILETIME);
  static const PreciseFn precise = reinterpret_cast<PreciseFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
  FILETIME now = {};
  if (precise) {
    precise(&now);
  } else {
    GetSystemTimeAsFileTime(&now);
  }
  return Ticks(now);
}

// The process's peak working set in MiB so far, or -1. Looked up by name:
// kernel32 has the K32 form since Windows 7, psapi.dll before.
double PeakWorkingSetMiB() {
  using MemoryFn = BOOL(WINAPI*)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD);
  static const MemoryFn query = reinterpret_cast<MemoryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32GetProcessMemoryInfo")));
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!query || !query(GetCurrentProcess(), &counters, sizeof(counters))) return -1;
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

// The previous mark in 0.1 ms units since process creation.
volatile LONG g_last_mark = 0;

}  // namespace

double MsSinceProcessStart() {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  const ULONGLONG now = NowTicks(), start = Ticks(created);
  return now > start ? static_cast<double>(now - start) / 10000.0 : 0;
}

void MarkStage(const wchar_t* stage) {
  if (!GetLogger()->IsEnabled(kDebug)) return;
  const double ms = MsSinceProcessStart();
  const LONG previous = InterlockedExchange(&g_last_mark, static_cast<LONG>(ms * 10));
  wchar_t figures[96];
  std::swprintf(figures, 96, L": %.1f ms (+%.1f ms), peak working set %.1f MiB", ms, ms - previous / 10.0,
                PeakWorkingSetMiB());
  LOG_DEBUG << L"timeline " << stage << figures;
}

}  // namespace LogUtils
