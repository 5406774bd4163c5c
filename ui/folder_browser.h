// The folder browser of the custom page and the rules around it: which
// selections may be confirmed, and how a chosen folder becomes an install
// directory.
#pragma once

#include <windows.h>

#include <string>

// Whether the browser's OK button may be enabled for a selection. `path` is
// the selection's file-system path, or null when it has none; a path with a
// drive ("X:...") must be on a fixed drive as `drive_type` (GetDriveTypeW's
// shape, given "X:\") reports it.
bool IsSelectableFolder(const wchar_t* path, UINT (*drive_type)(const wchar_t* root));

// `chosen` with "\<product_folder>" appended unless its last characters
// already spell the folder name (without regard to case).
std::wstring AppendProductFolder(const std::wstring& chosen, const wchar_t* product_folder);

// Shows the browser over `owner` and returns the chosen folder with the
// product folder appended, or "" when the user cancelled.
std::wstring BrowseForInstallDir(HWND owner, const wchar_t* product_folder);
