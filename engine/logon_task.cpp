#include "engine/logon_task.h"

#define SECURITY_WIN32
#include <security.h>
#include <taskschd.h>

#include "base/system_library.h"
#include "engine/task_scheduler_store.h"

namespace engine {
namespace {

constexpr wchar_t kTriggerId[] = L"Trigger1";
constexpr wchar_t kAdministrators[] = L"BUILTIN\\Administrators";
constexpr wchar_t kNoTimeLimit[] = L"PT0S";
constexpr DWORD kMaxUserName = 256;

bool SameAction(const TaskAction& a, const TaskAction& b) {
  return EqualIgnoringCase(a.path, b.path) && EqualIgnoringCase(a.arguments, b.arguments) &&
         EqualIgnoringCase(a.working_directory, b.working_directory);
}

}  // namespace

bool CurrentUserNames(std::wstring* plain, std::wstring* sam_compatible) {
  wchar_t name[kMaxUserName + 1] = {};
  DWORD size = kMaxUserName + 1;
  if (!GetUserNameW(name, &size)) return false;
  *plain = name;

  // secur32 is not a known DLL, so it is bound from System32 by full path.
  using GetUserNameExFn = BOOLEAN(WINAPI*)(EXTENDED_NAME_FORMAT, LPWSTR, PULONG);
  auto get_user_name_ex = base::GetSystemProcAs<GetUserNameExFn>(L"secur32.dll", "GetUserNameExW");
  if (!get_user_name_ex) return false;
  wchar_t sam[kMaxUserName + 1] = {};
  ULONG sam_size = kMaxUserName + 1;
  if (!get_user_name_ex(NameSamCompatible, sam, &sam_size)) return false;
  *sam_compatible = sam;
  return true;
}

LogonTaskDefinition BuildLogonTaskDefinition(const AutorunRecord& record,
                                             const std::wstring& user,
                                             const std::wstring& sam_user) {
  LogonTaskDefinition d;
  d.author = user;
  d.description = record.description;
  d.trigger_id = kTriggerId;
  d.trigger_user = sam_user;
  d.trigger_delay = FormatTaskDelay(record.delay_seconds);
  d.action = {record.program, record.arguments, record.working_directory};
  d.principal_id = user;
  d.principal_group = kAdministrators;
  d.run_level = TASK_RUNLEVEL_HIGHEST;
  // The product must start on laptops too and is never cut off.
  d.stop_if_going_on_batteries = false;
  d.disallow_start_if_on_batteries = false;
  d.allow_hard_terminate = false;
  d.execution_time_limit = kNoTimeLimit;
  d.stop_on_idle_end = false;
  d.registration_flags = TASK_CREATE_OR_UPDATE;
  // 3: registered with the installing user's interactive token.
  d.logon_type = TASK_LOGON_INTERACTIVE_TOKEN;
  return d;
}

int RegisterLogonTask(ITaskStore& store, const std::wstring& name, const AutorunRecord& record) {
  if (!store.Open()) return 0;

  std::wstring user, sam_user;
  if (!CurrentUserNames(&user, &sam_user)) return 0;
  const LogonTaskDefinition wanted = BuildLogonTaskDefinition(record, user, sam_user);

  // An existing task keeps whatever else the user or an earlier edition set;
  // only where and how it starts the product is brought up to date.
  TaskAction current;
  if (store.FindExecAction(name, &current)) {
    if (!SameAction(current, wanted.action)) {
      store.ReplaceExecAction(name, wanted.action, wanted.registration_flags, wanted.logon_type);
    }
    store.EnsureEnabled(name);
    return 1;
  }

  store.Delete(name);
  return store.Create(name, wanted) ? 1 : 0;
}

int DeleteLogonTask(ITaskStore& store, const std::wstring& name) {
  if (!store.Open()) return 0;
  store.Delete(name);
  return 1;
}

int RegisterLogonTask(const std::wstring& name, const AutorunRecord& record) {
  CComTaskStore store;
  return RegisterLogonTask(store, name, record);
}

int DeleteLogonTask(const std::wstring& name) {
  CComTaskStore store;
  return DeleteLogonTask(store, name);
}

}  // namespace engine
