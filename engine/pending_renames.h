// The system's pending file rename list ("PendingFileRenameOperations" under
// HKLM\SYSTEM\CurrentControlSet\Control\Session Manager) and its pruning
// before an install, so that a restart does not move stale files of an
// earlier, interrupted install over the new ones.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace engine {

// One entry: the source, and the destination (empty: delete at restart),
// both exactly as stored, native prefixes and "!" included.
struct PendingRename {
  std::wstring source;
  std::wstring destination;
};

class CRegPendingFileRename {
 public:
  virtual ~CRegPendingFileRename() = default;

  // Reads the list and keeps the entries that do not concern `install_dir`.
  // False (the list left alone) when the value is missing, unreadable, not a
  // REG_MULTI_SZ, or when `install_dir` is empty.
  bool Load(const std::wstring& install_dir);

  // Writes the kept entries back when Load dropped any. Entries that stay are
  // written exactly as they were read; a list that lost nothing is not
  // rewritten at all.
  bool Write() const;

  const std::vector<PendingRename>& kept() const { return kept_; }
  size_t dropped() const { return dropped_; }

  // Splits `chars` characters of REG_MULTI_SZ data into entries, keeping those
  // whose source or destination (after its native prefix) does not lie in
  // `install_dir`. Returns the number dropped. A deletion (empty destination)
  // is judged by its source only.
  static size_t Filter(const wchar_t* data, size_t chars, const std::wstring& install_dir,
                       std::vector<PendingRename>* kept);

  // The REG_MULTI_SZ form of `entries`: each string with its terminator, then
  // the final terminator.
  static std::vector<wchar_t> Serialize(const std::vector<PendingRename>& entries);

  // Whether a path as written in the list (after its prefix) names
  // `install_dir` or something below it.
  static bool InDirectory(const wchar_t* path, const std::wstring& install_dir);

 private:
  bool loaded_ = false;
  size_t dropped_ = 0;
  std::vector<PendingRename> kept_;
};

// Removes the entries concerning `install_dir` from the pending rename list.
// Failures leave the list as it was.
void PrunePendingRenames(const std::wstring& install_dir);

}  // namespace engine
