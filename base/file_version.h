// The version resource of a file, read through version.dll (bound at run
// time from System32: it is not a library Windows always takes from there).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace base {

class FileVersionInfo {
 public:
  // False when the file has no version resource or cannot be read.
  bool Load(const std::wstring& path);
  // "%d.%d.%d.%d" of the fixed file version; empty when absent.
  std::wstring FixedVersion() const;
  // The "FileVersion" string of the first listed translation; with
  // `first_non_empty`, the first one that is not empty over all listed
  // translations. Empty when there is none.
  std::wstring FileVersionString(bool first_non_empty = false) const;

 private:
  std::vector<BYTE> data_;
};

// Shorthand: the fixed version of `path`, or empty.
std::wstring FixedFileVersion(const std::wstring& path);

}  // namespace base
