#include "engine/autorun.h"

#include "base/os_version.h"
#include "base/registry.h"
#include "base/scoped_handle.h"
#include "engine/task_scheduler_store.h"

namespace engine {
namespace {

// The value is compared within what the product's own reader accepts.
constexpr DWORD kMaxRunValueBytes = 520;

// Windows Vista (6.0) brought Task Scheduler 2.0.
constexpr DWORD kTaskSchedulerMajor = 6;

}  // namespace

int WriteRunValue(const std::wstring& name, const AutorunRecord& record) {
  base::ScopedRegKey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr,
                      key.Receive(), nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  const std::wstring text = RunValueText(record);
  std::wstring current;
  base::RegReadString(key.Get(), L"", name.c_str(), &current, kMaxRunValueBytes);
  if (EqualIgnoringCase(current, text)) return 1;
  // Readers of this value expect the terminator inside the stored length.
  return base::RegWriteString(key.Get(), L"", name.c_str(), text, /*with_terminator=*/true) ? 1 : 0;
}

int SetAutorun(bool on, const wchar_t* install_dir, ITaskStore& store, DWORD windows_major) {
  if (!install_dir || !*install_dir) return 0;

  if (!on) {
    DeleteLogonTask(store, kAutorunName);
    base::RegRemoveValue(HKEY_CURRENT_USER, kRunKey, kAutorunName);
    base::RegRemoveValue(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName);
    return 1;
  }

  const AutorunRecord record = MakeAutorunRecord(install_dir);
  if (windows_major >= kTaskSchedulerMajor) {
    if (RegisterLogonTask(store, kAutorunName, record)) return 1;
  }
  return WriteRunValue(kAutorunName, record);
}

int SetAutorun(bool on, const wchar_t* install_dir) {
  CComTaskStore store;
  return SetAutorun(on, install_dir, store, base::CurrentNtVersion().major);
}

}  // namespace engine
