// The running processes as the shutdown step sees them: their ids and the
// path of the program each one runs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace engine {

// Ids of the running processes, at most 2048 of them; empty when the list
// cannot be read.
std::vector<DWORD> RunningProcessIds();

// The id of the process that started the current one; 0 when ntdll will not
// say.
DWORD ParentProcessId();

// The program path of process `pid`: the module file name (its long form when
// it holds "~"), else the image name translated from the device form. Empty
// when neither can be read (no access, the process has ended).
std::wstring ProcessImagePath(DWORD pid);

// The long form of a path that holds "~" (an 8.3 name, most likely), when
// that has 1 to 1023 characters; otherwise the path as it is.
std::wstring ExpandShortName(const std::wstring& path);

// Upper case, for the shutdown step's comparisons.
std::wstring UpperCase(std::wstring text);

// Whether `path` is the directory `dir` or lies below it, compared without
// case on a path boundary: "C:\App" (with or without a trailing "\") holds
// "C:\App\x.exe" but not "C:\Apple\x.exe". Never for an empty `dir`.
bool IsInDirectory(const std::wstring& path, const std::wstring& dir);

// Enables "SeDebugPrivilege" in the process token, so that other users'
// processes can be opened. Whether it was enabled.
bool EnableDebugPrivilege();

}  // namespace engine
