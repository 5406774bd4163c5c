// A downloaded runtime installer, checked and held open until it is started.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <utility>

#include "base/scoped_handle.h"

namespace webrt {

enum class InstallerCheck {
  kPassed,
  kUnreadable,    // missing, a directory, a link, or a file with other names
  kMd5Mismatch,
  kUntrusted,     // no valid Authenticode signature
};

// The file stays open with read-only sharing for the life of the object:
// nobody can write, replace, rename or delete it, so what was checked is what
// gets started.
class VerifiedInstaller {
 public:
  // Opens `path`, checks its MD5 when `md5` is not empty, then its Authenticode
  // signature, both through the held handle. `out` receives the installer only
  // when every check passed.
  static InstallerCheck Open(const std::wstring& path, const std::wstring& md5,
                             std::unique_ptr<VerifiedInstaller>* out);

  const std::wstring& path() const { return path_; }

 private:
  VerifiedInstaller(std::wstring path, base::ScopedHandle file)
      : path_(std::move(path)), file_(std::move(file)) {}

  std::wstring path_;
  base::ScopedHandle file_;
};

}  // namespace webrt
