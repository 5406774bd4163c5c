#include "log/log_appender.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "base/string_conv.h"

namespace LogUtils {

void CrtFileTraits::Close(Handle fd) { _close(fd); }

std::wstring MutexNameForPath(std::wstring_view path) {
  std::wstring name;
  for (wchar_t c : path) {
    if (c >= L'a' && c <= L'z') {
      name += static_cast<wchar_t>(c - L'a' + L'A');
    } else if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
      name += c;
    }
  }
  return name;
}

std::wstring FormatLogHeader(const SYSTEMTIME& time, DWORD process_id, DWORD thread_id,
                             std::wstring_view name) {
  wchar_t header[100];
  const std::wstring name_text(name);
  // _snwprintf stops at the count without a terminator; the last slot keeps one.
  if (name_text.empty()) {
    _snwprintf(header, 99, L"%02d-%02d %02d:%02d:%02d.%03d [%5d][%5d]", time.wMonth, time.wDay,
               time.wHour, time.wMinute, time.wSecond, time.wMilliseconds,
               static_cast<int>(process_id), static_cast<int>(thread_id));
  } else {
    _snwprintf(header, 99, L"%02d-%02d %02d:%02d:%02d.%03d [%5d][%5d][%ls]", time.wMonth, time.wDay,
               time.wHour, time.wMinute, time.wSecond, time.wMilliseconds,
               static_cast<int>(process_id), static_cast<int>(thread_id), name_text.c_str());
  }
  header[99] = L'\0';
  return header;
}

LogAppender::LogAppender(std::wstring path, std::wstring name, BOOL fresh, LocalTimeSource clock)
    : fresh_(fresh),
      path_(std::move(path)),
      mutex_name_(MutexNameForPath(path_)),
      name_(std::move(name)),
      clock_(clock) {
  // Created owned, so that a second process starting now cannot write
  // between our test for "first user" and the deletion of the old file.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, mutex_name_.empty() ? nullptr : mutex_name_.c_str());
  const DWORD error = GetLastError();
  mutex_.Reset(mutex);
  if (!mutex_.IsValid()) return;
  // An existing mutex means another process is logging to this file: it must
  // keep its lines, fresh or not (and we do not own the mutex then).
  if (error != ERROR_ALREADY_EXISTS) {
    if (fresh_) DeleteFileW(path_.c_str());
    ReleaseMutex(mutex_.Get());
  }
}

void LogAppender::Append(const std::wstring& text) {
  SYSTEMTIME now;
  clock_(&now);
  std::string line = base::WideToUtf8(
      FormatLogHeader(now, GetCurrentProcessId(), GetCurrentThreadId(), name_) + text);
  line += "\r\n";
  pending_.push_back(std::move(line));
}

int LogAppender::Write(const std::wstring& text, bool wait) {
  Append(text);
  if (needs_open_) Open();
  if (!mutex_.IsValid()) {
    // Without the mutex (its name taken by another kind of object, or an
    // over-long path) lines are written unserialised rather than kept in
    // memory for ever; each line still goes out in one write.
    FlushPending();
    return size_;
  }
  DWORD wait_result = WaitForSingleObject(mutex_.Get(), 0);
  if (wait_result == WAIT_TIMEOUT) {
    // Another process is writing: ordinary lines go out with a later write
    // instead of stalling the caller.
    if (!wait) return size_;
    wait_result = WaitForSingleObject(mutex_.Get(), INFINITE);
  }
  // An abandoned mutex is ours now; its previous owner died mid-write.
  if (wait_result != WAIT_OBJECT_0 && wait_result != WAIT_ABANDONED) return size_;
  FlushPending();
  ReleaseMutex(mutex_.Get());
  return size_;
}

bool LogAppender::Reset() {
  if (file_.IsValid()) {
    file_.Reset();
    needs_open_ = true;
  }
  size_ = 0;
  pending_.clear();
  return DeleteFileW(path_.c_str()) != FALSE;
}

void LogAppender::Open() {
  // Full sharing: other processes append to the same file at the same time.
  file_.Reset(_wsopen(path_.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _SH_DENYNO,
                      _S_IREAD | _S_IWRITE));
  if (file_.IsValid()) {
    size_ = _lseek(file_.Get(), 0, SEEK_END);
  } else {
    const std::wstring message =
        L"open " + path_ + L" error. [" + std::to_wstring(errno) + L"]\r\n";
    OutputDebugStringW(message.c_str());
    size_ = -1;
  }
  needs_open_ = false;
}

void LogAppender::FlushPending() {
  std::vector<std::string> lines;
  lines.swap(pending_);
  for (const std::string& line : lines) {
    // A failed write counts -1, so a broken file keeps reporting a size that
    // never reaches the limit.
    size_ +=
        file_.IsValid() ? _write(file_.Get(), line.data(), static_cast<unsigned>(line.size())) : -1;
  }
}

}  // namespace LogUtils
