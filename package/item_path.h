// Which archive item paths may be written below an extraction directory.
//
// An archive is untrusted input: a stored name must not climb out of the
// destination ("..", absolute or drive paths), open an NTFS alternate data
// stream ("a.txt:hidden"), or address a device ("CON", "NUL.txt", "COM1").
#pragma once

#include <string>

namespace package {

// True when `item` is a relative path whose every component is an ordinary
// file name. Both '\' and '/' count as separators.
bool IsSafeItemPath(const std::wstring& item);

// True when `full` (after Win32 normalisation) lies strictly below
// `destination`, which ends in a backslash.
bool IsPathInside(const std::wstring& destination, const std::wstring& full);

}  // namespace package
