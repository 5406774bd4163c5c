// Against Wine's real Task Scheduler. It cannot make log-on triggers, so the
// existing task is a daily one that the test registers itself.
#include "engine/task_scheduler_store.h"

#include <gtest/gtest.h>

#include "base/string_conv.h"
#include "engine/autorun.h"
#include "engine/task_xml.h"

namespace engine {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kName[] = L"Pelorix";
const AutorunRecord kRecord = MakeAutorunRecord(L"C:\\Apps\\Pelorix");

VARIANT Empty() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

// Registers the task with a daily trigger and `actions` (the <Actions>
// children). It goes in as XML: Wine's object model cannot store actions.
bool RegisterDailyTask(CComTaskStore& store, const std::wstring& actions, bool enabled = true) {
  const std::wstring xml =
      L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
      L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
      L"  <RegistrationInfo><Description>daily test task</Description></RegistrationInfo>\n"
      L"  <Triggers><CalendarTrigger><StartBoundary>2026-01-01T08:00:00</StartBoundary>"
      L"<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>\n"
      L"  <Settings><Enabled>" + std::wstring(enabled ? L"true" : L"false") +
      L"</Enabled></Settings>\n"
      L"  <Actions Context=\"Author\">" + actions + L"</Actions>\n"
      L"</Task>\n";
  ComPtr<IRegisteredTask> registered;
  return SUCCEEDED(store.root()->RegisterTask(ScopedBstr(kName).Get(), ScopedBstr(xml).Get(),
                                              TASK_CREATE_OR_UPDATE, Empty(), Empty(),
                                              TASK_LOGON_INTERACTIVE_TOKEN, Empty(), &registered));
}

std::wstring ExecXml(const TaskAction& a) {
  return L"<Exec><Command>" + XmlEscape(a.path) + L"</Command><Arguments>" +
         XmlEscape(a.arguments) + L"</Arguments><WorkingDirectory>" +
         XmlEscape(a.working_directory) + L"</WorkingDirectory></Exec>";
}

std::wstring StoredXml(CComTaskStore& store) {
  ComPtr<IRegisteredTask> task;
  ScopedBstr xml;
  if (FAILED(store.root()->GetTask(ScopedBstr(kName).Get(), &task)) ||
      FAILED(task->get_Xml(xml.Receive()))) {
    return L"";
  }
  return xml.Text();
}

struct Registered {
  bool found = false;
  bool enabled = false;
};

Registered ReadBack(CComTaskStore& store) {
  Registered r;
  ComPtr<IRegisteredTask> task;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (FAILED(store.root()->GetTask(ScopedBstr(kName).Get(), &task)) ||
      FAILED(task->get_Enabled(&enabled))) {
    return r;
  }
  r.found = true;
  r.enabled = enabled != VARIANT_FALSE;
  return r;
}

class TaskSchedulerStore : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store_.Open());
    ASSERT_TRUE(store_.Delete(kName));
  }
  void TearDown() override { store_.Delete(kName); }
  CComTaskStore store_;
};

// Wine 8 keeps an <Exec> action but drops its values (and the triggers) when
// it stores a task, so what these tests can see of an updated task is that
// it is the same task, still there, still enabled.
TEST_F(TaskSchedulerStore, FindsAndDeletesAnExecTask) {
  TaskAction none;
  EXPECT_FALSE(store_.FindExecAction(kName, &none));
  ASSERT_TRUE(RegisterDailyTask(store_, ExecXml({L"\"C:\\Old\\old.exe\"", L"/x", L"C:\\Old"})));

  TaskAction found;
  EXPECT_TRUE(store_.FindExecAction(kName, &found));
  EXPECT_TRUE(store_.Delete(kName));
  EXPECT_FALSE(store_.FindExecAction(kName, &found));
  EXPECT_TRUE(store_.Delete(kName)) << "a missing task counts as deleted";
}

TEST_F(TaskSchedulerStore, ReplacesTheActionOfTheStoredTask) {
  ASSERT_TRUE(RegisterDailyTask(store_, ExecXml({L"old.exe", L"/x", L"C:\\Old"})));
  EXPECT_TRUE(store_.ReplaceExecAction(kName, {kRecord.program, kRecord.arguments,
                                               kRecord.working_directory},
                                       TASK_CREATE_OR_UPDATE, TASK_LOGON_INTERACTIVE_TOKEN));
  const std::wstring xml = StoredXml(store_);
  EXPECT_NE(xml.find(L"daily test task"), std::wstring::npos) << "same task";
  TaskAction now;
  EXPECT_TRUE(ReadFirstExecAction(xml, &now)) << base::WideToUtf8(xml);
}

TEST_F(TaskSchedulerStore, ExistingExecTaskIsKeptAndEnabled) {
  ASSERT_TRUE(RegisterDailyTask(store_, ExecXml({L"\"C:\\Old\\old.exe\"", L"/x", L"C:\\Old"}),
                                /*enabled=*/false));
  ASSERT_FALSE(ReadBack(store_).enabled);

  EXPECT_EQ(RegisterLogonTask(kName, kRecord), 1);

  const Registered r = ReadBack(store_);
  ASSERT_TRUE(r.found) << "the task must not be deleted";
  EXPECT_TRUE(r.enabled);
  EXPECT_NE(StoredXml(store_).find(L"daily test task"), std::wstring::npos)
      << "the task must not be made anew";
}

// Wine answers E_NOTIMPL for a log-on trigger; a failed creation must leave
// no half-made task behind and report 0, so that the Run value takes over.
TEST_F(TaskSchedulerStore, CreationWithoutLogonTriggersFailsCleanly) {
  std::wstring user, sam;
  ASSERT_TRUE(CurrentUserNames(&user, &sam));
  if (store_.Create(kName, BuildLogonTaskDefinition(kRecord, user, sam))) {
    GTEST_SKIP() << "this Task Scheduler makes log-on triggers";
  }
  EXPECT_FALSE(ReadBack(store_).found);
  EXPECT_EQ(RegisterLogonTask(kName, kRecord), 0);
}

TEST_F(TaskSchedulerStore, DeleteLogonTaskRemovesTheTask) {
  ASSERT_TRUE(RegisterDailyTask(store_, ExecXml({L"a.exe", L"", L"C:\\"})));
  ASSERT_TRUE(ReadBack(store_).found);
  EXPECT_EQ(DeleteLogonTask(kName), 1);
  EXPECT_FALSE(ReadBack(store_).found);
}

}  // namespace
}  // namespace engine
