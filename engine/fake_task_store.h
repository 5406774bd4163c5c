// An ITaskStore that keeps one task in memory and records what it is asked.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/logon_task.h"

namespace engine {

class CFakeTaskStore : public ITaskStore {
 public:
  struct Task {
    bool exec_action = true;  // false: the first action is of another kind
    TaskAction action;
    bool enabled = true;
    std::optional<LogonTaskDefinition> created;  // set when made by Create
  };

  bool Open() override {
    calls.push_back(L"Open");
    return open_result;
  }
  bool FindExecAction(const std::wstring& name, TaskAction* action) override {
    calls.push_back(L"Find " + name);
    if (!task || task_name != name || !task->exec_action) return false;
    *action = task->action;
    return true;
  }
  bool ReplaceExecAction(const std::wstring& name, const TaskAction& action, long flags,
                         int logon_type) override {
    calls.push_back(L"Replace " + name);
    replace_flags = flags;
    replace_logon_type = logon_type;
    task->action = action;
    return true;
  }
  bool EnsureEnabled(const std::wstring& name) override {
    calls.push_back(L"EnsureEnabled " + name);
    task->enabled = true;
    return true;
  }
  bool Delete(const std::wstring& name) override {
    calls.push_back(L"Delete " + name);
    if (task_name == name) task.reset();
    return true;
  }
  bool Create(const std::wstring& name, const LogonTaskDefinition& definition) override {
    calls.push_back(L"Create " + name);
    if (!create_result) return false;
    task_name = name;
    task = Task{true, definition.action, true, definition};
    return true;
  }

  bool open_result = true;
  bool create_result = true;
  std::wstring task_name = L"Pelorix";
  std::optional<Task> task;
  long replace_flags = -1;
  int replace_logon_type = -1;
  std::vector<std::wstring> calls;
};

}  // namespace engine
