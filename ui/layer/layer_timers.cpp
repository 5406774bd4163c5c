#include "ui/layer/layer_timers.h"

BOOL CLayerTimerSet::Acquire(HWND hwnd, UINT id, UINT interval) {
  auto it = counts_.find(id);
  if (it != counts_.end()) {
    ++it->second;
    return TRUE;
  }
  if (!::SetTimer(hwnd, id, interval, nullptr)) return FALSE;
  counts_[id] = 1;
  return TRUE;
}

BOOL CLayerTimerSet::Release(HWND hwnd, UINT id) {
  auto it = counts_.find(id);
  if (it == counts_.end()) return FALSE;
  if (--it->second > 0) return TRUE;
  counts_.erase(it);
  return ::KillTimer(hwnd, id);
}

void CLayerTimerSet::Clear(HWND hwnd) {
  for (const auto& entry : counts_) ::KillTimer(hwnd, entry.first);
  counts_.clear();
}

int CLayerTimerSet::Count(UINT id) const {
  auto it = counts_.find(id);
  return it == counts_.end() ? 0 : it->second;
}
