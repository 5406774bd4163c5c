// Small registry helpers. `view` is 0 (the process's own view) or
// KEY_WOW64_32KEY / KEY_WOW64_64KEY.
#pragma once

#include <windows.h>

#include <string>

namespace base {

// Reads a REG_SZ or REG_EXPAND_SZ value (not expanded). False when the key or
// value is missing, is not a string, or needs more than `max_bytes` (0: any).
bool RegReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, std::wstring* out,
                   DWORD max_bytes = 0, REGSAM view = 0);

// Writes REG_SZ, creating the key. The stored length excludes the terminating
// null unless `with_terminator` is set.
bool RegWriteString(HKEY root, const wchar_t* subkey, const wchar_t* name,
                    const std::wstring& value, bool with_terminator = false, REGSAM view = 0);

bool RegReadDword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD* out,
                  REGSAM view = 0);
bool RegWriteDword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value,
                   REGSAM view = 0);

// True when the value is gone afterwards (also when it never existed).
bool RegRemoveValue(HKEY root, const wchar_t* subkey, const wchar_t* name, REGSAM view = 0);

// Deletes a key with everything below it. True when it is gone afterwards.
bool RegRemoveTree(HKEY root, const wchar_t* subkey, REGSAM view = 0);

}  // namespace base
