// Temporary workspace and clean-up: temporary names, the write probe for
// candidate directories, moving locked files out of the way, deletion that
// falls back to deletion at the next restart, and recursive removal.
//
// Every operation takes absolute UTF-16 paths and reports success as a bool;
// nothing here throws.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/scoped_handle.h"

namespace package {

// Text of a fresh GUID as "{XXXXXXXX-XXXX-xxxx-XXXX-XXXXXXXXXXXX}" (third group
// in lower case, as every temporary name the setup has ever made).
bool NewGuidText(std::wstring* out);

// A path "<user temp>\{guid}.tmp" that does not exist yet. Nothing is created.
bool NewTempPath(std::wstring* out);

// A path "<dir>[\<extra>]\{guid}.tmp" that does not exist yet; `extra` may be
// null or empty. Gives up after ten names that are all taken, and refuses a
// directory longer than MAX_PATH. Nothing is created.
bool NewTempPathIn(const std::wstring& dir, const wchar_t* extra, std::wstring* out);

// Whether `name` is a GUID text as NewGuidText makes it (digits of either
// case) followed by `suffix`.
bool IsGuidName(const wchar_t* name, const wchar_t* suffix);

// The write probe's file: "<dir>\{guid}.tf".
constexpr wchar_t kProbeSuffix[] = L".tf";

// Removes probe files that a run ended during its write probe left directly
// in `dir`. Returns how many went.
int RemoveProbeLeftovers(const std::wstring& dir);

// Whether a file can be created and written in `dir`. Missing directories are
// created for the test and removed again; no probe file is left behind. On
// failure `*error` (optional) receives the Win32 error of the failed step.
bool ProbeWritable(const std::wstring& dir, DWORD* error);

// Folder that receives files moved out of the way from the volume of `path`:
// the user's temp folder on the Windows drive, "X:\.temp" (hidden) on any
// other drive X. With `create`, the folder is created and hidden if needed.
bool VolumeTempFolder(const std::wstring& path, bool create, std::wstring* folder);

// Renames a file or directory that cannot be deleted in place to a temporary
// name on the same volume. `*new_path` receives the new name.
bool MoveAside(const std::wstring& path, std::wstring* new_path);

// Deletes a file, clearing its attributes if the first attempt fails. A file
// that cannot be deleted is scheduled for deletion at the next restart and the
// result is false. A file that is already gone counts as deleted.
bool DeleteOrSchedule(const std::wstring& file);

// Removes a directory and everything below it. Refuses paths shorter than four
// characters (drive roots). A link (junction, symbolic link), whether `dir`
// itself or found below it, is removed as a link and never walked; a
// directory is held open while it is walked, and one that cannot be held
// (another process may write or delete it) is left alone. Keeps going after a
// failure; true only if everything, the directory itself included, is gone.
bool DeleteTree(const std::wstring& dir);

// Told after every file that RemoveTreeCounted handled.
class IRemoveObserver {
 public:
  virtual ~IRemoveObserver() = default;
  virtual void OnFileRemoved(unsigned long long count) = 0;
};

// Like DeleteTree, but each file goes through DeleteOrSchedule, `*counter` is
// incremented after every file and handed to `observer` (optional).
bool RemoveTreeCounted(const std::wstring& dir, unsigned long long* counter,
                       IRemoveObserver* observer);

// Removes a tree for good: like RemoveTreeCounted without the count, and a
// directory that cannot be removed now (something below it waits for the
// restart, or it is in use) is scheduled for deletion at restart as well,
// after what lies below it, so that the restart leaves nothing behind. Links
// are removed as links and never walked, `dir` included. True only if
// everything is gone now.
bool DeleteTreeOrSchedule(const std::wstring& dir);

// Removes every file below `dir` whose extension (with the dot, any case)
// equals `extension`. What cannot be removed is scheduled for deletion at
// restart where it is; the result is then false. Links are removed as links
// (when their own name matches) and never walked, `dir` included.
bool PurgeByExtension(const std::wstring& dir, const std::wstring& extension);

// Holds a real directory open for listing, without write or delete sharing:
// until the handle closes nobody can rename or delete it nor turn it into a
// junction, so it stays the directory that was looked at. Invalid when `dir`
// is missing, not a directory, or a link (junction, symbolic link).
base::ScopedHandle HoldRealDirectory(const std::wstring& dir);

// Whether attributes (as GetFileAttributes or a find entry gives them) name
// a junction, symbolic link or other reparse point.
bool IsLinkAttributes(DWORD attrs);

// Creates `dir` and all its missing parents. `created` (optional) receives the
// directories that did not exist before, outermost first.
bool CreateDirectories(const std::wstring& dir, std::vector<std::wstring>* created);

// Replaces the GUID generator (CoCreateGuid) so that tests can make names
// collide; null restores CoCreateGuid. Returns the previous generator.
using GuidGenerator = HRESULT(WINAPI*)(GUID*);
GuidGenerator SetGuidGeneratorForTesting(GuidGenerator generator);

// Called by DeleteTree, RemoveTreeCounted and PurgeByExtension with every
// directory they hold and are about to enumerate, so that tests can change
// the tree at that moment; null removes it. Returns the previous hook.
using TreeWalkHook = void (*)(const std::wstring& dir);
TreeWalkHook SetTreeWalkHookForTesting(TreeWalkHook hook);

}  // namespace package
