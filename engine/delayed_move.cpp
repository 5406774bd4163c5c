#include "engine/delayed_move.h"

#include <cwchar>
#include <string>

#include "engine/access_permission.h"

namespace engine {
namespace {

const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

std::wstring VolumeOf(const wchar_t* path) {
  wchar_t volume[MAX_PATH + 1];
  if (GetVolumePathNameW(path, volume, MAX_PATH + 1)) return volume;
  return std::wstring(path, wcsnlen(path, 3));
}

// One round of the access fallback: each identifier is tried even when an
// earlier one could not be added, since any of them may be the one that
// lets this process in.
void OpenTo(IDelayedMoveSystem* system, const SidBuffer* sids, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (!sids[i].empty()) system->OpenSessionManagerTo(const_cast<BYTE*>(sids[i].data()));
  }
}

}  // namespace

BOOL CSystemDelayedMove::MoveAtRestart(const wchar_t* source, const wchar_t* destination,
                                    DWORD flags) {
  return MoveFileExW(source, destination, flags);
}

BOOL CSystemDelayedMove::OpenSessionManagerTo(PSID sid) {
  return CAccessPermission().SetKeyAccess(HKEY_LOCAL_MACHINE, kSessionManagerKey, sid,
                                          kKeyFullAccess, SET_ACCESS);
}

bool OnSameVolume(const wchar_t* a, const wchar_t* b) {
  return _wcsicmp(VolumeOf(a).c_str(), VolumeOf(b).c_str()) == 0;
}

BOOL ScheduleMove(const wchar_t* source, const wchar_t* destination, DWORD flags) {
  CSystemDelayedMove system;
  return ScheduleMove(source, destination, flags, &system);
}

BOOL ScheduleMove(const wchar_t* source, const wchar_t* destination, DWORD flags,
                  IDelayedMoveSystem* system) {
  if (!source || !*source || (flags != kMoveAtRestart && flags != kMoveAtRestartReplacing)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (destination && !*destination) destination = nullptr;
  // Windows refuses a delayed move across volumes, Wine records it and then
  // fails at restart; refuse it here so both behave alike.
  if (destination && !OnSameVolume(source, destination)) {
    SetLastError(ERROR_NOT_SAME_DEVICE);
    return FALSE;
  }

  if (system->MoveAtRestart(source, destination, flags)) return TRUE;
  if (GetLastError() != ERROR_ACCESS_DENIED) return FALSE;

  CAccessPermission permission;
  SidBuffer owners[2];
  permission.CreateWellKnownSid(WinBuiltinAdministratorsSid, &owners[0]);
  permission.CurrentUserSid(&owners[1]);
  OpenTo(system, owners, 2);
  if (system->MoveAtRestart(source, destination, flags)) return TRUE;
  if (GetLastError() != ERROR_ACCESS_DENIED) return FALSE;

  SidBuffer everyone[1];
  permission.CreateWellKnownSid(WinWorldSid, &everyone[0]);
  OpenTo(system, everyone, 1);
  return system->MoveAtRestart(source, destination, flags);
}

}  // namespace engine
