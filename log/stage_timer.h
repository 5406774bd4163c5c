// The setup's timeline: one Debug line per stage, with the time since the
// process was created (so the loader's share counts), since the previous
// mark, and the process's peak working set so far. With Debug off a mark
// costs one level test and builds no text.
//
//   LogUtils::MarkStage(L"7-Zip library loaded");
//   -> [D][  41][stage_timer] timeline 7-Zip library loaded: 142.3 ms (+12.0 ms),
//      peak working set 31.2 MiB
#pragma once

namespace LogUtils {

void MarkStage(const wchar_t* stage);

// Milliseconds since this process was created, 0.1 ms resolution where the
// system clock offers it.
double MsSinceProcessStart();

}  // namespace LogUtils
