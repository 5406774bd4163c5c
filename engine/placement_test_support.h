// What the placement tests share: the pending rename value saved and put
// back around each test, throw-away directories, small file helpers, and a
// file held open by another process.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/scoped_handle.h"
#include "engine/access_permission.h"

namespace engine {
namespace testing_support {

// Raw bytes of "PendingFileRenameOperations"; false when it is absent.
bool ReadPendingValue(std::vector<BYTE>* data, DWORD* type = nullptr);
bool WritePendingValue(const std::vector<BYTE>& data, DWORD type = REG_MULTI_SZ);
bool RemovePendingValue();

// REG_MULTI_SZ bytes: each string with its terminator, then the final one.
std::vector<BYTE> MultiSz(std::initializer_list<std::wstring> strings);

// Whether the pending list holds exactly this pair (as stored).
bool PendingHasPair(const std::wstring& source, const std::wstring& destination);

// Saves the pending value, removes it so that each test starts from an empty
// list, and restores it byte for byte when destroyed: the machine's own list
// is not the tests' to change. (Wine's MoveFileEx loses the first character
// of what it appends to a value with no data, which other programs leave
// behind at times.)
class ScopedPendingValue {
 public:
  ScopedPendingValue();
  ~ScopedPendingValue();
  ScopedPendingValue(const ScopedPendingValue&) = delete;
  ScopedPendingValue& operator=(const ScopedPendingValue&) = delete;

 private:
  bool present_;
  DWORD type_ = REG_MULTI_SZ;
  std::vector<BYTE> data_;
};

// A fresh directory "<parent>\{guid}.tmp" removed with everything in it when
// destroyed. An empty parent means the user's temporary folder.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::wstring& parent = std::wstring());
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  bool IsValid() const { return !path_.empty(); }
  const std::wstring& path() const { return path_; }
  std::wstring Child(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

bool WriteText(const std::wstring& path, const std::string& text);
// The file's content, or "<missing>".
std::string ReadText(const std::wstring& path);
// Names in `dir` matching `pattern` ("cln*.tmp").
std::vector<std::wstring> FindNames(const std::wstring& dir, const wchar_t* pattern);

// A file held open by file_holder.exe (beside the test program) with the
// given share mode ("rw", "rd", ...) until Release() or destruction.
class CHeldFile {
 public:
  CHeldFile(const std::wstring& path, const wchar_t* share);
  ~CHeldFile();
  CHeldFile(const CHeldFile&) = delete;
  CHeldFile& operator=(const CHeldFile&) = delete;
  // True once the holder has the file open.
  bool IsHeld() const { return held_; }
  // Lets go and waits for the holder to end.
  void Release();

 private:
  base::ScopedHandle ready_;
  base::ScopedHandle release_;
  base::ScopedHandle process_;
  bool held_ = false;
};

// "S-1-5-..." text of a SID, or "<invalid>".
std::wstring SidText(PSID sid);

// Stands in for the access-list calls whose effect Wine cannot show. Records
// each path reset to its inherited list together with what the file held at
// that moment ("<missing>" before it arrived), and each protected directory,
// which it creates plainly. `fail` makes every call fail.
class CRecordingFileSecurity : public IFileSecurity {
 public:
  BOOL ResetToInherited(const wchar_t* path) override;
  BOOL CreateProtectedDirectory(const wchar_t* path) override;
  // Whether `path` was reset while it held `content`.
  bool WasReset(const std::wstring& path, const std::string& content) const;

  bool fail = false;
  std::vector<std::pair<std::wstring, std::string>> resets;
  std::vector<std::wstring> protected_dirs;
};

// A self-relative descriptor made from SDDL text; empty when it is not valid.
std::vector<BYTE> SddlDescriptor(const wchar_t* sddl);
// The DACL part of a descriptor as SDDL text, for comparisons and messages.
std::wstring DaclSddl(const std::vector<BYTE>& descriptor);

}  // namespace testing_support
}  // namespace engine
