// Reference-counted window timers: one system timer per id however many
// controls ask for it.
#pragma once

#include <windows.h>

#include <map>

class CLayerTimerSet {
 public:
  // Starts the timer on the first request for `id`; later ones only count.
  BOOL Acquire(HWND hwnd, UINT id, UINT interval);
  // Stops it when the last request is given back. FALSE for an unknown id.
  BOOL Release(HWND hwnd, UINT id);
  // Stops every timer (window going away).
  void Clear(HWND hwnd);
  int Count(UINT id) const;

 private:
  std::map<UINT, int> counts_;
};
