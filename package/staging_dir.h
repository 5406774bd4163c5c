// Directories only administrators can write: the payload staging directory
// and the directories companion libraries are expanded into. They are made
// fresh under the staging base (the common application data folder), where
// ordinary users may create their own folders but not touch anyone else's.
#pragma once

#include <windows.h>

#include <string>

namespace package {

// The access list of a staging directory: full control for Administrators
// and SYSTEM, nothing inherited. Free with LocalFree; null on failure.
PSECURITY_DESCRIPTOR NewStagingSecurityDescriptor();

// Creates `path` with the access list `sddl` (stated once more on the new
// directory). Fails (ERROR_ALREADY_EXISTS) when the name exists.
bool CreateDirectoryWithList(const std::wstring& path, const wchar_t* sddl);

// Creates `path` with the staging access list. Fails (ERROR_ALREADY_EXISTS)
// when the name exists in any form: nothing planted there is ever adopted.
bool CreateProtectedDirectory(const std::wstring& path);

// Creates a protected "<base>\{guid}<suffix>" under a fresh name (up to ten
// names) and hands it out in `*created`.
bool CreateProtectedDirectoryIn(const std::wstring& base, std::wstring* created,
                                const wchar_t* suffix = L".tmp");

// The common application data folder, created when missing.
bool StagingBase(std::wstring* base);

// Removes the "{guid}.tmp" directories in `base` that an earlier, killed run
// of the setup left behind, and the "{guid}.lib" ones whose deletion at
// restart was never recorded (the run was killed while it unpacked): created
// before this process started, and with the same owner and access list as
// `reference` (a directory this run just made with CreateProtectedDirectory).
// Anything else is left alone. Returns how many were removed.
int RemoveStaleStaging(const std::wstring& base, const std::wstring& reference);

}  // namespace package
