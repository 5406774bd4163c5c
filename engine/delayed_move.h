// Moves and deletions that Windows carries out at the next restart, through
// the system's pending file rename list.
#pragma once

#include <windows.h>

namespace engine {

// The flags ScheduleMove accepts.
constexpr DWORD kMoveAtRestart = MOVEFILE_DELAY_UNTIL_REBOOT;  // 4
constexpr DWORD kMoveAtRestartReplacing =
    MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING;  // 5

// Full access to a registry key (KEY_ALL_ACCESS).
constexpr DWORD kKeyFullAccess = 0xF003F;

// What ScheduleMove asks of the machine; tests stand in for it to produce the
// access-denied answers Wine never gives.
class IDelayedMoveSystem {
 public:
  virtual ~IDelayedMoveSystem() = default;
  // As MoveFileExW with the delay flag.
  virtual BOOL MoveAtRestart(const wchar_t* source, const wchar_t* destination, DWORD flags) = 0;
  // Gives `sid` full access to the Session Manager key, which holds the list.
  virtual BOOL OpenSessionManagerTo(PSID sid) = 0;
};

// The real machine.
class CSystemDelayedMove : public IDelayedMoveSystem {
 public:
  BOOL MoveAtRestart(const wchar_t* source, const wchar_t* destination, DWORD flags) override;
  BOOL OpenSessionManagerTo(PSID sid) override;
};

// Whether two paths lie on the same volume (by their volume mount points,
// or by their first three characters when those cannot be found).
bool OnSameVolume(const wchar_t* a, const wchar_t* b);

// Records a move of `source` onto `destination` (null: deletion of `source`)
// at restart; `flags` is kMoveAtRestart or kMoveAtRestartReplacing. The
// session manager renames within a volume only, so a destination on another
// volume fails with ERROR_NOT_SAME_DEVICE and nothing is recorded. When
// Windows denies access, the Session Manager key is opened to the built-in
// Administrators and the current user, then to Everyone, with a retry after
// each round. Last error is set on failure.
BOOL ScheduleMove(const wchar_t* source, const wchar_t* destination, DWORD flags);
BOOL ScheduleMove(const wchar_t* source, const wchar_t* destination, DWORD flags,
                  IDelayedMoveSystem* system);

}  // namespace engine
