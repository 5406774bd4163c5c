// The product's updater reads its install location from "updatecfg.ini" in
// the install directory: every section's "path" is relative to it and is made
// absolute for the directory the product was just installed into.
#pragma once

#include <string>

namespace engine {

constexpr wchar_t kUpdateConfigName[] = L"updatecfg.ini";

// The updater keeps "path" in a fixed buffer: only this many characters of the
// install directory are used.
constexpr size_t kConfigDirChars = 129;

// The new "path" for `old_value`: the first kConfigDirChars characters of
// `install_dir` joined with `old_value` by the shell's path-append rule. False
// when the joined path would not fit in MAX_PATH.
bool RewriteConfigPath(const std::wstring& install_dir, const std::wstring& old_value,
                       std::wstring* new_value);

// Rewrites every non-empty "path" key of install_dir\updatecfg.ini. A missing
// file is left missing. Returns the number of keys rewritten.
int UpdateConfigPaths(const std::wstring& install_dir);

}  // namespace engine
