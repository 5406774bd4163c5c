// Moves and deletions that Windows carries out at the next restart, through
// the system's pending file rename list.
#pragma once

#include <windows.h>

#include <vector>

namespace engine {

// The flags ScheduleMove accepts.
constexpr DWORD kMoveAtRestart = MOVEFILE_DELAY_UNTIL_REBOOT;  // 4
constexpr DWORD kMoveAtRestartReplacing =
    MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING;  // 5

// What the built-in Administrators are given on the Session Manager key while
// a denied delayed move is retried: enough to write the pending rename list.
constexpr DWORD kPendingListAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

// What ScheduleMove asks of the machine; tests stand in for it to produce the
// access-denied answers Wine never gives.
class IDelayedMoveSystem {
 public:
  virtual ~IDelayedMoveSystem() = default;
  // As MoveFileExW with the delay flag.
  virtual BOOL MoveAtRestart(const wchar_t* source, const wchar_t* destination, DWORD flags) = 0;
  // The access list of the Session Manager key, which holds the pending
  // rename list: a self-relative descriptor with the DACL and its control.
  virtual BOOL ReadSessionManagerAccess(std::vector<BYTE>* descriptor) = 0;
  // Replaces that key's access list with the one in `descriptor`; the key
  // alone, nothing is passed on to its subkeys.
  virtual BOOL WriteSessionManagerAccess(const std::vector<BYTE>& descriptor) = 0;
};

// The real machine.
class CSystemDelayedMove : public IDelayedMoveSystem {
 public:
  BOOL MoveAtRestart(const wchar_t* source, const wchar_t* destination, DWORD flags) override;
  BOOL ReadSessionManagerAccess(std::vector<BYTE>* descriptor) override;
  BOOL WriteSessionManagerAccess(const std::vector<BYTE>& descriptor) override;
};

// `descriptor` (self-relative, with a DACL) with one entry in front of its
// list that allows the built-in Administrators kPendingListAccess on that key
// only. In front, so that no deny entry of the list can take it away again.
bool WithPendingListGrant(const std::vector<BYTE>& descriptor, std::vector<BYTE>* granted);

// Whether two paths lie on the same volume (by their volume mount points,
// or by their first three characters when those cannot be found).
bool OnSameVolume(const wchar_t* a, const wchar_t* b);

// Records a move of `source` onto `destination` (null: deletion of `source`)
// at restart; `flags` is kMoveAtRestart or kMoveAtRestartReplacing. The
// session manager renames within a volume only, so a destination on another
// volume fails with ERROR_NOT_SAME_DEVICE and nothing is recorded. When
// Windows denies access, the built-in Administrators are allowed to write
// the Session Manager key for one retry, and the key's access list is put
// back byte for byte afterwards, whatever the retry gave. No other account
// is ever given anything there: whoever may write that list chooses what
// replaces system files at the next start. Last error is set on failure.
BOOL ScheduleMove(const wchar_t* source, const wchar_t* destination, DWORD flags);
BOOL ScheduleMove(const wchar_t* source, const wchar_t* destination, DWORD flags,
                  IDelayedMoveSystem* system);

}  // namespace engine
