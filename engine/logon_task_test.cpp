#include "engine/logon_task.h"

#include <gtest/gtest.h>
#include <taskschd.h>

#include "engine/fake_task_store.h"

namespace engine {
namespace {

using Calls = std::vector<std::wstring>;

const AutorunRecord kRecord = MakeAutorunRecord(L"C:\\Apps\\Pelorix");

TEST(LogonTaskDefinition, AsksForTheLogonTaskOfTheCurrentUser) {
  const LogonTaskDefinition d = BuildLogonTaskDefinition(kRecord, L"alice", L"HOST\\alice");
  EXPECT_EQ(d.author, L"alice");
  EXPECT_EQ(d.description, L"start Pelorix when user login on");
  EXPECT_EQ(d.trigger_id, L"Trigger1");
  EXPECT_EQ(d.trigger_user, L"HOST\\alice");
  EXPECT_EQ(d.trigger_delay, L"PT0M1S");
  EXPECT_EQ(d.action.path, L"\"C:\\Apps\\Pelorix\\Nexhub\\pelorix\\pelorix_ui.exe\"");
  EXPECT_EQ(d.action.arguments, L"/autorun --from=task --op_type=1");
  EXPECT_EQ(d.action.working_directory, L"C:\\Apps\\Pelorix\\Nexhub\\pelorix");
  EXPECT_EQ(d.principal_id, L"alice");
  EXPECT_EQ(d.principal_group, L"BUILTIN\\Administrators");
  EXPECT_EQ(d.run_level, TASK_RUNLEVEL_HIGHEST);
  EXPECT_FALSE(d.stop_if_going_on_batteries);
  EXPECT_FALSE(d.disallow_start_if_on_batteries);
  EXPECT_FALSE(d.allow_hard_terminate);
  EXPECT_EQ(d.execution_time_limit, L"PT0S");
  EXPECT_FALSE(d.stop_on_idle_end);
  EXPECT_EQ(d.registration_flags, 6);
  EXPECT_EQ(d.logon_type, 3);
}

TEST(CurrentUserNames, GivesPlainAndDomainQualifiedNames) {
  std::wstring plain, sam;
  ASSERT_TRUE(CurrentUserNames(&plain, &sam));
  EXPECT_FALSE(plain.empty());
  const size_t slash = sam.find(L'\\');
  ASSERT_NE(slash, std::wstring::npos) << sam;
  EXPECT_EQ(_wcsicmp(sam.substr(slash + 1).c_str(), plain.c_str()), 0);
}

TEST(RegisterLogonTask, NewTaskIsCreatedWithTheFullDefinition) {
  CFakeTaskStore store;
  ASSERT_EQ(RegisterLogonTask(store, L"Pelorix", kRecord), 1);
  EXPECT_EQ(store.calls, (Calls{L"Open", L"Find Pelorix", L"Delete Pelorix", L"Create Pelorix"}));
  ASSERT_TRUE(store.task && store.task->created);
  std::wstring user, sam;
  ASSERT_TRUE(CurrentUserNames(&user, &sam));
  const LogonTaskDefinition want = BuildLogonTaskDefinition(kRecord, user, sam);
  const LogonTaskDefinition& got = *store.task->created;
  EXPECT_EQ(got.author, want.author);
  EXPECT_EQ(got.trigger_user, want.trigger_user);
  EXPECT_EQ(got.principal_id, want.principal_id);
  EXPECT_EQ(got.trigger_delay, L"PT0M1S");
  EXPECT_EQ(got.action.path, kRecord.program);
  EXPECT_EQ(got.run_level, TASK_RUNLEVEL_HIGHEST);
}

TEST(RegisterLogonTask, FailedCreateGivesZero) {
  CFakeTaskStore store;
  store.create_result = false;
  EXPECT_EQ(RegisterLogonTask(store, L"Pelorix", kRecord), 0);
}

TEST(RegisterLogonTask, UnreachableServiceGivesZeroAndTouchesNothing) {
  CFakeTaskStore store;
  store.open_result = false;
  store.task = CFakeTaskStore::Task{true, {L"old", L"old", L"old"}, false, {}};
  EXPECT_EQ(RegisterLogonTask(store, L"Pelorix", kRecord), 0);
  EXPECT_EQ(store.calls, (Calls{L"Open"}));
}

TEST(RegisterLogonTask, TaskWithOtherFirstActionIsReplaced) {
  CFakeTaskStore store;
  store.task = CFakeTaskStore::Task{false, {}, true, {}};
  ASSERT_EQ(RegisterLogonTask(store, L"Pelorix", kRecord), 1);
  EXPECT_EQ(store.calls, (Calls{L"Open", L"Find Pelorix", L"Delete Pelorix", L"Create Pelorix"}));
  ASSERT_TRUE(store.task && store.task->created);
}

struct ExistingCase {
  const char* what;
  TaskAction existing;
  bool rewritten;
};

class RegisterExistingTask : public testing::TestWithParam<ExistingCase> {};

TEST_P(RegisterExistingTask, UpdatesInPlaceAndEnables) {
  const ExistingCase& c = GetParam();
  CFakeTaskStore store;
  store.task = CFakeTaskStore::Task{true, c.existing, false, {}};
  ASSERT_EQ(RegisterLogonTask(store, L"Pelorix", kRecord), 1) << c.what;

  Calls want{L"Open", L"Find Pelorix"};
  if (c.rewritten) want.push_back(L"Replace Pelorix");
  want.push_back(L"EnsureEnabled Pelorix");
  EXPECT_EQ(store.calls, want) << c.what;
  ASSERT_TRUE(store.task);
  EXPECT_FALSE(store.task->created) << "the task must not be made anew";
  EXPECT_TRUE(store.task->enabled);
  const TaskAction& a = store.task->action;
  if (c.rewritten) {
    EXPECT_EQ(a.path, kRecord.program);
    EXPECT_EQ(a.arguments, kRecord.arguments);
    EXPECT_EQ(a.working_directory, kRecord.working_directory);
    EXPECT_EQ(store.replace_flags, 6);
    EXPECT_EQ(store.replace_logon_type, 3);
  } else {
    EXPECT_EQ(a.path, c.existing.path);
  }
}

const std::wstring kProgram = kRecord.program;
const std::wstring kArgs = kRecord.arguments;
const std::wstring kDir = kRecord.working_directory;

INSTANTIATE_TEST_SUITE_P(
    Cases, RegisterExistingTask,
    testing::Values(
        ExistingCase{"identical", {kProgram, kArgs, kDir}, false},
        ExistingCase{"case only",
                     {L"\"c:\\APPS\\pelorix\\NEXHUB\\Pelorix\\Pelorix_UI.EXE\"",
                      L"/AUTORUN --FROM=TASK --OP_TYPE=1", L"c:\\apps\\PELORIX\\nexhub\\pelorix"},
                     false},
        ExistingCase{"other path", {L"\"C:\\Old\\pelorix_ui.exe\"", kArgs, kDir}, true},
        ExistingCase{"other arguments", {kProgram, L"/autorun", kDir}, true},
        ExistingCase{"other directory", {kProgram, kArgs, L"C:\\Old"}, true},
        ExistingCase{"empty", {L"", L"", L""}, true}),
    [](const testing::TestParamInfo<ExistingCase>& info) {
      std::string name = info.param.what;
      for (char& c : name) {
        if (c == ' ') c = '_';
      }
      return name;
    });

TEST(DeleteLogonTask, DeletesWhenTheServiceIsReached) {
  CFakeTaskStore store;
  store.task = CFakeTaskStore::Task{};
  EXPECT_EQ(DeleteLogonTask(store, L"Pelorix"), 1);
  EXPECT_FALSE(store.task);

  CFakeTaskStore down;
  down.open_result = false;
  EXPECT_EQ(DeleteLogonTask(down, L"Pelorix"), 0);
  EXPECT_EQ(down.calls, (Calls{L"Open"}));
}

}  // namespace
}  // namespace engine
