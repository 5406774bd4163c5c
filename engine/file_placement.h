// Placing one staged file into the install directory while the product may
// still be running: move or copy it, move a file in use aside, and as the
// last resort let Windows finish the placement at the next restart.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/access_permission.h"

namespace engine {

// One failed step of a placement, for the install log.
struct PlacementDiagnostic {
  std::wstring step;     // "move file fail", "rename old file fail", ...
  DWORD error;           // GetLastError() of the step
  std::wstring message;  // the system's text for `error` (may be empty)
};

// How the placement ended when PlaceFile succeeded.
enum PlacementOutcome : int {
  kPlacedNow = 0,         // the new file is in place, nothing left to do
  kOldFileAtRestart = 4,  // the new file is in place, the old one is deleted at restart
  kNewFileAtRestart = 5,  // the new file waits beside the destination until restart
};

// Longest path PlaceFile takes, terminator excluded.
constexpr size_t kMaxPlacementPath = 1023;

// Puts `source` at `destination`, creating the destination's directories.
// On the same volume the source is moved; a destination in use is first
// renamed to a "cln" temporary name beside it (deleted now or at restart);
// if it cannot even be renamed, the source waits under a "cln" name and a
// pending rename puts it in place at restart. Across volumes the source is
// copied (and kept); a destination in use is renamed to a "brd" temporary
// name beside it first (deleted now or at restart) or, when it cannot be
// renamed, the copy waits under that name until restart. The old file is
// never removed before the new one is in place or scheduled.
// However a file gets there (renamed, copied, or waiting for the restart
// under its temporary name), its access list is reset to what the
// destination's directory passes on; a reset that fails is recorded as
// "reset access fail" but does not undo the placement. Directories created
// here inherit as well.
// `diagnostics` and `outcome` are optional. Never throws.
BOOL PlaceFile(const wchar_t* source, const wchar_t* destination,
               std::vector<PlacementDiagnostic>* diagnostics, int* outcome);
// The same with the access lists handled by `security` (tests).
BOOL PlaceFile(const wchar_t* source, const wchar_t* destination,
               std::vector<PlacementDiagnostic>* diagnostics, int* outcome,
               IFileSecurity* security);

}  // namespace engine
