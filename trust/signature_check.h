// Code-signature check before a file is loaded or started. Verification is
// not wired up yet, so every file is refused: nothing unverified gets loaded.
#pragma once

inline bool SignatureCheck(const wchar_t* path) { return false; }
