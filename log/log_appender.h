// The log file writer. Each line is "<header><text>\r\n" in UTF-8, where the
// header is "MM-DD hh:mm:ss.mmm [pid][tid]" plus "[name]" when the appender
// has a name. Lines are queued first and appended to the file under a named
// mutex derived from the path, so several processes can share one log file
// and no line is split by another process's line.
//
// Not thread-safe: the owner serialises every call (the logger's main lock).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/scoped_handle.h"

namespace LogUtils {

// Where the header's time comes from; tests pass a fixed clock.
using LocalTimeSource = void(WINAPI*)(LPSYSTEMTIME);

// The ASCII letters and digits of `path`, letters upper-cased: a valid object
// name that every process derives alike from the same path.
std::wstring MutexNameForPath(std::wstring_view path);

// The line header, at most 99 characters (a long name is cut).
std::wstring FormatLogHeader(const SYSTEMTIME& time, DWORD process_id, DWORD thread_id,
                             std::wstring_view name);

struct CrtFileTraits {
  using Handle = int;
  static Handle Null() { return -1; }
  static bool IsValid(Handle fd) { return fd >= 0; }
  static void Close(Handle fd);
};
using ScopedCrtFile = base::ScopedGeneric<CrtFileTraits>;

class LogAppender final {
 public:
  // With `fresh` set, the file is deleted when no other process has it open
  // through an appender. The file itself is opened by the first Write.
  LogAppender(std::wstring path, std::wstring name, BOOL fresh,
              LocalTimeSource clock = &::GetLocalTime);
  LogAppender(const LogAppender&) = delete;
  LogAppender& operator=(const LogAppender&) = delete;

  // Queues a line; it reaches the file with the next Write.
  virtual void Append(const std::wstring& text);
  // Queues a line and appends the whole queue when the file mutex is free.
  // When another process holds it, the queue stays for a later Write unless
  // `wait` is set. Returns the file size as this process knows it (-1 or less
  // when the file could not be opened).
  virtual int Write(const std::wstring& text, bool wait);
  // Closes and deletes the file and drops the queue; the next Write opens a
  // new file. False (GetLastError set) when the deletion failed.
  virtual bool Reset();

  int size() const { return size_; }
  const std::wstring& mutex_name() const { return mutex_name_; }

 private:
  void Open();
  void FlushPending();

  base::ScopedHandle mutex_;
  int size_ = 0;
  bool needs_open_ = true;
  BOOL fresh_;
  std::wstring path_;
  std::wstring mutex_name_;
  std::wstring name_;
  ScopedCrtFile file_;
  std::vector<std::string> pending_;
  LocalTimeSource clock_;
};

}  // namespace LogUtils
