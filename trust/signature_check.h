// Code-signature check before the setup loads or starts a file it did not
// build: a valid Authenticode signature (an expired certificate still counts)
// whose signer is one of the maker's accepted signers.
//
// Accepted: the built-in signer digests, then the lists of
// trust/sign_info_collecter.h (shared, cached, and with `allow_refresh`
// downloaded).
#pragma once

#include <windows.h>

#include <string>

// True when `path` may be loaded or started. On Windows 7 and older every
// existing file passes; a module already loaded in the process passes.
BOOL SignatureCheck(const wchar_t* path, BOOL allow_refresh = TRUE);

// Whether a signer display name is accepted: MD5 of its lower-case UTF-8 form
// among the built-in digests, else found by SignInfoCollecter.
bool SignerAccepted(const std::wstring& name, bool allow_refresh);

// The display name of the leaf certificate of the file's first signer, after
// a successful (or expired-certificate) verification; empty otherwise.
std::wstring VerifiedSignerName(const wchar_t* path);

// Guarded load and start: nothing happens unless the check passes.
HMODULE CheckedLoadLibrary(const wchar_t* path);
HMODULE CheckedLoadLibraryEx(const wchar_t* path, DWORD flags);
HINSTANCE CheckedShellExecute(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* params,
                              const wchar_t* dir, int show);
