// Choosing and checking the install directory: the rules behind the wizard's
// directory field and the "/DIR" switch.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/access_permission.h"
#include "engine/environment_check.h"

namespace engine {

// The product folder the default directory and a crowded folder get.
constexpr wchar_t kProductFolderName[] = L"Pelorix";
// Lies in the install directory from before its first file is placed until
// every file is in place: a run that ends in between (killed, machine off,
// a file that could not be placed) leaves the directory recognisable as the
// product's, so the next run completes it there.
constexpr wchar_t kUnfinishedMark[] = L"setup.unfinished";
// The install directory's drive needs more than this much free space.
constexpr ULONGLONG kInstallDirFreeMb = 150;
// Longest path accepted, as given (blanks included).
constexpr size_t kMaxInstallDirChars = 258;

// One of the InstallDirCheck codes (engine/install_task_interface.h). The
// directory is created for the test and removed again: nothing is left behind.
int ValidateInstallDir(const wchar_t* path, IEnvironmentQueries* queries);
int ValidateInstallDir(const wchar_t* path);

// The directory an install into `path` uses: separators turned into "\", a
// trailing "\" dropped, and "\Pelorix" appended when `path` is a folder
// with other entries that does not hold the product already (its main
// program, or the mark of an unfinished install).
std::wstring NormalizeInstallDir(const wchar_t* path);

// "Setup Path" of the registered install when it names an existing path;
// else the program files folder (the 32-bit one: Install is a 32-bit process) joined with "Pelorix". When that is
// not usable its drive letter becomes the first fixed drive with more than
// 150 MB free, or the result is empty when there is none.
std::wstring DefaultInstallDir(IEnvironmentQueries* queries);

// "Setup Path" under HKLM "SOFTWARE\Pelorix" (32-bit view) when it names an
// existing path; empty otherwise.
std::wstring RegisteredInstallDir();

// The Program Files folders of this machine: the one this 32-bit process
// sees, the 32-bit one and, on 64-bit Windows, the native one. Taken from the
// shell and the registry, not from the environment, which the user who
// started the setup controls.
std::vector<std::wstring> ProgramFilesFolders();

// Whether `dir` is one of `folders` or lies below one: compared without case
// on whole path components ("C:\Program Files (x86)" is not below
// "C:\Program Files"), after "." and ".." are resolved.
bool IsInProgramFiles(const std::wstring& dir, const std::vector<std::wstring>& folders);

// Creates the install directory with its missing parents before the first
// file is placed. Outside the Program Files folders, the outermost directory
// this creates gets kInstallDirSddl (through `security`) and everything below
// inherits it; a directory that exists already keeps its list, and that is
// logged. False (last error set) when the directory cannot be made.
BOOL CreateInstallDir(const std::wstring& dir, const std::vector<std::wstring>& program_files,
                      IFileSecurity* security);
BOOL CreateInstallDir(const std::wstring& dir);

// Puts kUnfinishedMark into `dir` (a hidden, empty file) or removes it.
bool MarkUnfinished(const std::wstring& dir, bool unfinished);

}  // namespace engine
