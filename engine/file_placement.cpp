#include "engine/file_placement.h"

#include <cwchar>

#include "engine/delayed_move.h"
#include "package/temp_workspace.h"

namespace engine {
namespace {

constexpr DWORD kMoveReplacing = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
constexpr DWORD kMessageChars = 1024;

class Placement {
 public:
  Placement(std::vector<PlacementDiagnostic>* diagnostics, int* outcome, IFileSecurity* security)
      : diagnostics_(diagnostics), outcome_(outcome), security_(security) {
    SetOutcome(kPlacedNow);
  }

  BOOL SameVolume(const std::wstring& source, const std::wstring& destination);
  BOOL OtherVolume(const std::wstring& source, const std::wstring& destination);

  // Records `step` with the current last error, which it leaves unchanged.
  void Fail(const wchar_t* step) {
    DWORD error = GetLastError();
    if (diagnostics_) {
      wchar_t text[kMessageChars] = {};
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     text, kMessageChars, nullptr);
      diagnostics_->push_back({step, error, text});
    }
    SetLastError(error);
  }

  // Gives what now sits in the install directory the list that directory
  // passes on. A rename (and the session manager's rename at restart) keeps
  // the list the file had in the staging directory or the user's temporary
  // folder; a copy onto an existing file may keep the old file's.
  void Inherit(const std::wstring& path) {
    if (!security_->ResetToInherited(path.c_str())) Fail(L"reset access fail");
  }

  // Returns TRUE once `path` holds the new file for good.
  BOOL Placed(const std::wstring& path) {
    Inherit(path);
    return TRUE;
  }

 private:
  void SetOutcome(int value) {
    if (outcome_) *outcome_ = value;
  }

  std::vector<PlacementDiagnostic>* diagnostics_;
  int* outcome_;
  IFileSecurity* security_;
};

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring DirectoryOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// A file name "<prefix>XXXX.tmp" in `dir`; the system creates it empty.
bool NewTempFile(const std::wstring& dir, const wchar_t* prefix, std::wstring* path) {
  wchar_t name[MAX_PATH] = {};
  if (dir.size() >= MAX_PATH - 14 || !GetTempFileNameW(dir.c_str(), prefix, 0, name)) return false;
  path->assign(name);
  return true;
}

// Whether nothing answers to `path` any more. A file deleted while another
// process holds it open with delete sharing keeps its name until that handle
// closes, and blocks the name until then.
bool Gone(const std::wstring& path) {
  if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Deletes `path` now, whatever it is; nothing is scheduled. True only when
// the name is free afterwards.
bool RemoveNow(const std::wstring& path) {
  DeleteFileW(path.c_str());
  if (Gone(path)) return true;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path.c_str());
  if (Gone(path)) return true;
  RemoveDirectoryW(path.c_str());
  return Gone(path);
}

// Copies `source` to a spare name beside `destination` and renames that over
// it: the final name only ever holds a whole file, so a copy that stops
// midway (a full drive, a killed setup) leaves the old file there, or none.
// The spare is a ".tmp" that the next install purges if this one is killed.
// A destination that another program holds open without delete sharing
// cannot be renamed over; when it can be written, it is overwritten in place
// as before, now that a whole copy is known to fit.
BOOL CopyIntoPlace(const std::wstring& source, const std::wstring& destination) {
  std::wstring spare;
  if (!NewTempFile(DirectoryOf(destination), L"cln", &spare)) {
    return CopyFileW(source.c_str(), destination.c_str(), FALSE);  // no room for a spare name
  }
  const BOOL copied = CopyFileW(source.c_str(), spare.c_str(), FALSE);
  if (copied && MoveFileExW(spare.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) return TRUE;
  const DWORD error = GetLastError();
  RemoveNow(spare);
  if (copied && Exists(destination)) return CopyFileW(source.c_str(), destination.c_str(), FALSE);
  SetLastError(error);
  return FALSE;
}

// Renames `source` over `destination`. The same drive letter is not always
// the same file system (a volume mounted in a folder): then the file is
// copied into place and the staged one deleted.
BOOL MoveIntoPlace(const std::wstring& source, const std::wstring& destination) {
  if (MoveFileExW(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING)) return TRUE;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE || !CopyIntoPlace(source, destination)) return FALSE;
  DeleteFileW(source.c_str());
  return TRUE;
}

BOOL Placement::SameVolume(const std::wstring& source, const std::wstring& destination) {
  std::wstring dir = DirectoryOf(destination);
  // Created without a descriptor of their own, new directories inherit.
  package::CreateDirectories(dir, nullptr);
  if (MoveIntoPlace(source, destination)) return Placed(destination);
  Fail(L"move file fail");

  // The destination is in use. A file that is running or open with delete
  // sharing can still be renamed: move it out of the way and try again.
  std::wstring aside;
  if (!NewTempFile(dir, L"cln", &aside)) {
    Fail(L"get temp file name fail");
  } else if (!MoveFileExW(destination.c_str(), aside.c_str(), kMoveReplacing)) {
    Fail(L"rename old file fail");
    RemoveNow(aside);  // the empty placeholder GetTempFileName made
  } else {
    bool old_at_restart = false;
    // Left undeleted when even scheduling fails: the next install's purge of
    // ".tmp" files takes it then.
    if (!RemoveNow(aside)) {
      old_at_restart = ScheduleMove(aside.c_str(), nullptr, kMoveAtRestart);
      Inherit(aside);
    }
    if (MoveIntoPlace(source, destination)) {
      SetOutcome(old_at_restart ? kOldFileAtRestart : kPlacedNow);
      return Placed(destination);
    }
    Fail(L"try move file fail");
  }

  // Locked even against renaming: park the new file beside it and let the
  // session manager swap it in at restart.
  std::wstring waiting;
  if (!NewTempFile(dir, L"cln", &waiting)) {
    Fail(L"get temp file name fail");
    return FALSE;
  }
  if (!MoveFileExW(source.c_str(), waiting.c_str(), kMoveReplacing)) {
    Fail(L"write pending fail");
    RemoveNow(waiting);
    return FALSE;
  }
  // Reset where it waits: it is in the destination's directory already, and
  // the rename at restart keeps the list it has then.
  Inherit(waiting);
  if (!ScheduleMove(waiting.c_str(), destination.c_str(), kMoveAtRestartReplacing)) {
    Fail(L"write pending fail");
    // Hand the staged file back, so that nothing is left half-placed.
    MoveFileExW(waiting.c_str(), source.c_str(), kMoveReplacing);
    return FALSE;
  }
  SetOutcome(kNewFileAtRestart);
  return TRUE;
}

BOOL Placement::OtherVolume(const std::wstring& source, const std::wstring& destination) {
  std::wstring dir = DirectoryOf(destination);
  package::CreateDirectories(dir, nullptr);
  // The old file is never deleted before a copy is in place: a source that
  // cannot be read would otherwise cost the product its file.
  if (CopyIntoPlace(source, destination)) return Placed(destination);
  Fail(L"move file fail");
  if (!Exists(destination)) return FALSE;
  SetFileAttributesW(destination.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (CopyIntoPlace(source, destination)) return Placed(destination);

  // In use: free the name by renaming the old file within its directory.
  std::wstring aside;
  if (!NewTempFile(dir, L"brd", &aside)) {
    Fail(L"get temp file name fail");
    return FALSE;
  }
  DeleteFileW(aside.c_str());  // only the name is wanted
  if (!MoveFileW(destination.c_str(), aside.c_str())) {
    Fail(L"rename old file fail");
    // Not even renamable: the copy waits under the spare name.
    if (!CopyFileW(source.c_str(), aside.c_str(), FALSE)) {
      Fail(L"try move file fail");
      return FALSE;
    }
    Inherit(aside);
    if (!ScheduleMove(aside.c_str(), destination.c_str(), kMoveAtRestartReplacing)) {
      Fail(L"write pending fail");
      package::DeleteOrSchedule(aside);
      return FALSE;
    }
    SetOutcome(kNewFileAtRestart);
    return TRUE;
  }
  if (!CopyIntoPlace(source, destination)) {
    Fail(L"try move file fail");
    MoveFileW(aside.c_str(), destination.c_str());  // put the old file back
    return FALSE;
  }
  if (RemoveNow(aside)) return Placed(destination);
  if (ScheduleMove(aside.c_str(), nullptr, kMoveAtRestart)) SetOutcome(kOldFileAtRestart);
  Inherit(aside);
  return Placed(destination);
}

}  // namespace

BOOL PlaceFile(const wchar_t* source, const wchar_t* destination,
               std::vector<PlacementDiagnostic>* diagnostics, int* outcome) {
  return PlaceFile(source, destination, diagnostics, outcome, SystemFileSecurity());
}

BOOL PlaceFile(const wchar_t* source, const wchar_t* destination,
               std::vector<PlacementDiagnostic>* diagnostics, int* outcome,
               IFileSecurity* security) {
  Placement placement(diagnostics, outcome, security ? security : SystemFileSecurity());
  if (!source || !destination || !*source || !*destination) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::wstring from(source);
  std::wstring to(destination);
  if (from.size() > kMaxPlacementPath || to.size() > kMaxPlacementPath) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  // Without this, the strategies below would move the old file away and
  // then have nothing to put in its place.
  DWORD attrs = GetFileAttributesW(source);
  if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    if (attrs != INVALID_FILE_ATTRIBUTES) SetLastError(ERROR_FILE_NOT_FOUND);
    placement.Fail(L"move file fail");
    return FALSE;
  }
  if (_wcsnicmp(source, destination, 3) == 0) return placement.SameVolume(from, to);
  return placement.OtherVolume(from, to);
}

}  // namespace engine
