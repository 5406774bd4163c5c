// The folder one install run downloads into.
#pragma once

#include <windows.h>

#include <string>

#include "base/scoped_handle.h"

namespace webrt {

// A fresh directory under the user's temporary folder with a name nobody can
// guess, so nothing left by an earlier run or placed by another program is
// ever taken for a download. It is held open without delete sharing, so it
// cannot be renamed or swapped for a link while it is in use.
class DownloadFolder {
 public:
  DownloadFolder() = default;
  ~DownloadFolder() { Remove(); }
  DownloadFolder(const DownloadFolder&) = delete;
  DownloadFolder& operator=(const DownloadFolder&) = delete;

  // Creates the directory once; false when no fresh one could be made.
  bool Create();
  // Empty until created.
  const std::wstring& path() const { return path_; }
  // Deletes the directory and everything in it (links are removed as links).
  void Remove();

 private:
  std::wstring path_;
  base::ScopedHandle pin_;
};

}  // namespace webrt
