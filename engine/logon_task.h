// The product's log-on task: what it should look like, and the rules for
// creating it or bringing an existing one up to date. The Task Scheduler
// itself sits behind ITaskStore so that the definition can be checked
// without a service that runs log-on triggers (Wine has none).
#pragma once

#include <windows.h>

#include <string>

#include "engine/autorun_record.h"

namespace engine {

struct TaskAction {
  std::wstring path;
  std::wstring arguments;
  std::wstring working_directory;
};

// Everything the task is created with; values follow the Task Scheduler 2.0
// enumerations (TASK_RUNLEVEL_*, TASK_CREATION, TASK_LOGON_*).
struct LogonTaskDefinition {
  std::wstring author;       // plain user name
  std::wstring description;
  std::wstring trigger_id;
  std::wstring trigger_user; // DOMAIN\user
  std::wstring trigger_delay;
  TaskAction action;
  std::wstring principal_id;
  std::wstring principal_group;
  int run_level = 0;
  bool stop_if_going_on_batteries = true;
  bool disallow_start_if_on_batteries = true;
  bool allow_hard_terminate = true;
  std::wstring execution_time_limit;
  bool stop_on_idle_end = true;
  long registration_flags = 0;
  int logon_type = 0;
};

class ITaskStore {
 public:
  virtual ~ITaskStore() = default;
  // Connects to the service and reaches the root folder "\".
  virtual bool Open() = 0;
  // True when task `name` exists and its first action is an executable one;
  // `action` then holds that action's values.
  virtual bool FindExecAction(const std::wstring& name, TaskAction* action) = 0;
  // Sets the first action's values and registers the changed definition
  // again with `flags` and `logon_type`.
  virtual bool ReplaceExecAction(const std::wstring& name, const TaskAction& action, long flags,
                                 int logon_type) = 0;
  virtual bool EnsureEnabled(const std::wstring& name) = 0;
  // True when no task of that name is left (also when there was none).
  virtual bool Delete(const std::wstring& name) = 0;
  virtual bool Create(const std::wstring& name, const LogonTaskDefinition& definition) = 0;
};

// The current user as the task wants it. False when either name is unknown.
bool CurrentUserNames(std::wstring* plain, std::wstring* sam_compatible);

LogonTaskDefinition BuildLogonTaskDefinition(const AutorunRecord& record,
                                             const std::wstring& user,
                                             const std::wstring& sam_user);

// 1 when the task exists as wanted afterwards (created, or updated in place
// when its first action is executable), else 0.
int RegisterLogonTask(ITaskStore& store, const std::wstring& name, const AutorunRecord& record);
// 1 when the root folder was reached.
int DeleteLogonTask(ITaskStore& store, const std::wstring& name);

// The same through the machine's Task Scheduler.
int RegisterLogonTask(const std::wstring& name, const AutorunRecord& record);
int DeleteLogonTask(const std::wstring& name);

}  // namespace engine
