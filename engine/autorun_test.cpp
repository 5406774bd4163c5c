#include "engine/autorun.h"

#include <gtest/gtest.h>

#include "base/registry.h"
#include "base/scoped_handle.h"
#include "engine/fake_task_store.h"
#include "engine/task_scheduler_store.h"

namespace engine {
namespace {

constexpr wchar_t kDir[] = L"C:\\Apps\\Pelorix";
constexpr wchar_t kRunText[] =
    L"\"C:\\Apps\\Pelorix\\Nexhub\\pelorix\\pelorix_ui.exe\" /autorun --from=task --op_type=1";

struct StoredValue {
  bool present = false;
  DWORD type = 0;
  DWORD bytes = 0;
  std::wstring text;
};

StoredValue ReadRunValue(HKEY root) {
  StoredValue v;
  base::ScopedRegKey key;
  if (RegOpenKeyExW(root, kRunKey, 0, KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS) return v;
  wchar_t buf[600] = {};
  v.bytes = sizeof(buf) - sizeof(wchar_t);
  if (RegQueryValueExW(key.Get(), kAutorunName, nullptr, &v.type, reinterpret_cast<BYTE*>(buf),
                       &v.bytes) != ERROR_SUCCESS) {
    return {};
  }
  v.present = true;
  v.text = buf;
  return v;
}

DWORD WithTerminator(const std::wstring& text) {
  return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
}

class Autorun : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    base::RegRemoveValue(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName);
    base::RegRemoveValue(HKEY_CURRENT_USER, kRunKey, kAutorunName);
  }
};

struct RecordCase {
  const wchar_t* dir;
  const wchar_t* program;
  const wchar_t* working_directory;
};

TEST(AutorunRecord, IsBuiltFromTheInstallDirectory) {
  const RecordCase cases[] = {
      {L"C:\\Apps\\Pelorix", L"\"C:\\Apps\\Pelorix\\Nexhub\\pelorix\\pelorix_ui.exe\"",
       L"C:\\Apps\\Pelorix\\Nexhub\\pelorix"},
      {L"C:\\Apps\\Pelorix\\", L"\"C:\\Apps\\Pelorix\\Nexhub\\pelorix\\pelorix_ui.exe\"",
       L"C:\\Apps\\Pelorix\\Nexhub\\pelorix"},
      {L"D:\\", L"\"D:\\Nexhub\\pelorix\\pelorix_ui.exe\"", L"D:\\Nexhub\\pelorix"},
      {L"C:\\Program Files (x86)\\P",
       L"\"C:\\Program Files (x86)\\P\\Nexhub\\pelorix\\pelorix_ui.exe\"",
       L"C:\\Program Files (x86)\\P\\Nexhub\\pelorix"},
  };
  for (const RecordCase& c : cases) {
    const AutorunRecord r = MakeAutorunRecord(c.dir);
    EXPECT_EQ(r.program, c.program);
    EXPECT_EQ(r.working_directory, c.working_directory);
    EXPECT_EQ(r.arguments, L"/autorun --from=task --op_type=1");
    EXPECT_EQ(r.description, L"start Pelorix when user login on");
    EXPECT_EQ(r.delay_seconds, 1);
  }
  EXPECT_EQ(RunValueText(MakeAutorunRecord(kDir)), kRunText);
}

TEST(AutorunRecord, DelayIsMinutesAndRemainingSeconds) {
  const struct {
    int seconds;
    const wchar_t* text;
  } cases[] = {{0, L"PT0M0S"}, {1, L"PT0M1S"}, {59, L"PT0M59S"}, {60, L"PT1M0S"}, {125, L"PT2M5S"}};
  for (const auto& c : cases) EXPECT_EQ(FormatTaskDelay(c.seconds), c.text) << c.seconds;
}

TEST_F(Autorun, RunValueIsStoredWithItsTerminator) {
  ASSERT_EQ(WriteRunValue(kAutorunName, MakeAutorunRecord(kDir)), 1);
  const StoredValue v = ReadRunValue(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(v.present);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(v.text, kRunText);
  EXPECT_EQ(v.bytes, WithTerminator(kRunText));
}

TEST_F(Autorun, RunValueDifferingOnlyInCaseIsNotRewritten) {
  const std::wstring upper =
      L"\"C:\\APPS\\PELORIX\\NEXHUB\\PELORIX\\PELORIX_UI.EXE\" /AUTORUN --FROM=TASK --OP_TYPE=1";
  // Seeded as REG_EXPAND_SZ: a rewrite would turn it into REG_SZ.
  {
    base::ScopedRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), kAutorunName, 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(upper.c_str()), WithTerminator(upper)),
              ERROR_SUCCESS);
  }
  ASSERT_EQ(WriteRunValue(kAutorunName, MakeAutorunRecord(kDir)), 1);
  const StoredValue v = ReadRunValue(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(v.text, upper);
  EXPECT_EQ(v.type, static_cast<DWORD>(REG_EXPAND_SZ));
}

TEST_F(Autorun, OtherRunValuesAreRewritten) {
  for (const wchar_t* old : {L"", L"\"C:\\Old\\pelorix_ui.exe\" /autorun --from=task --op_type=1",
                             L"\"C:\\Apps\\Pelorix\\Nexhub\\pelorix\\pelorix_ui.exe\""}) {
    ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, old));
    ASSERT_EQ(WriteRunValue(kAutorunName, MakeAutorunRecord(kDir)), 1);
    const StoredValue v = ReadRunValue(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(v.text, kRunText) << old;
    EXPECT_EQ(v.bytes, WithTerminator(kRunText)) << old;
  }
}

struct SetCase {
  const char* what;
  DWORD major;
  bool service_up;
  bool create_ok;
  const std::vector<std::wstring> calls;
  bool run_value;
};

class SetAutorunOn : public Autorun, public testing::WithParamInterface<SetCase> {};

TEST_P(SetAutorunOn, PrefersTheTaskAndFallsBackToTheRunValue) {
  const SetCase& c = GetParam();
  CFakeTaskStore store;
  store.open_result = c.service_up;
  store.create_result = c.create_ok;
  EXPECT_EQ(SetAutorun(true, kDir, store, c.major), 1);
  EXPECT_EQ(store.calls, c.calls);
  const StoredValue v = ReadRunValue(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(v.present, c.run_value);
  if (c.run_value) {
    EXPECT_EQ(v.text, kRunText);
  }
  if (store.task && store.task->created) {
    EXPECT_EQ(store.task->created->action.path, MakeAutorunRecord(kDir).program);
  }
}

const std::vector<std::wstring> kCreated{L"Open", L"Find Pelorix", L"Delete Pelorix",
                                         L"Create Pelorix"};

INSTANTIATE_TEST_SUITE_P(
    Cases, SetAutorunOn,
    testing::Values(SetCase{"xp", 5, true, true, {}, true},
                    SetCase{"vista task", 6, true, true, kCreated, false},
                    SetCase{"win10 task", 10, true, true, kCreated, false},
                    SetCase{"create fails", 6, true, false, kCreated, true},
                    SetCase{"service down", 6, false, true, {L"Open"}, true}),
    [](const testing::TestParamInfo<SetCase>& info) {
      std::string name = info.param.what;
      for (char& c : name) {
        if (c == ' ') c = '_';
      }
      return name;
    });

TEST_F(Autorun, OffRemovesTaskAndBothRunValues) {
  ASSERT_TRUE(base::RegWriteString(HKEY_LOCAL_MACHINE, kRunKey, kAutorunName, kRunText));
  ASSERT_TRUE(base::RegWriteString(HKEY_CURRENT_USER, kRunKey, kAutorunName, kRunText));
  CFakeTaskStore store;
  store.task = CFakeTaskStore::Task{};
  EXPECT_EQ(SetAutorun(false, kDir, store, 10), 1);
  EXPECT_FALSE(store.task);
  EXPECT_FALSE(ReadRunValue(HKEY_LOCAL_MACHINE).present);
  EXPECT_FALSE(ReadRunValue(HKEY_CURRENT_USER).present);
}

TEST_F(Autorun, NoDirectoryDoesNothing) {
  for (const wchar_t* dir : {static_cast<const wchar_t*>(nullptr), L""}) {
    for (bool on : {true, false}) {
      CFakeTaskStore store;
      EXPECT_EQ(SetAutorun(on, dir, store, 10), 0);
      EXPECT_TRUE(store.calls.empty());
    }
  }
  EXPECT_FALSE(ReadRunValue(HKEY_LOCAL_MACHINE).present);
}

// Wine's Task Scheduler cannot make the log-on trigger, so the Run value is
// what the real service path ends in here.
TEST_F(Autorun, UnderWineTheRunValueTakesOver) {
  EXPECT_EQ(SetAutorun(true, kDir), 1);
  const StoredValue v = ReadRunValue(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(v.present);
  EXPECT_EQ(v.text, kRunText);
  EXPECT_EQ(v.bytes, WithTerminator(kRunText));
  CComTaskStore store;
  ASSERT_TRUE(store.Open());
  TaskAction action;
  EXPECT_FALSE(store.FindExecAction(kAutorunName, &action)) << "no half-made task is left";

  EXPECT_EQ(SetAutorun(false, kDir), 1);
  EXPECT_FALSE(ReadRunValue(HKEY_LOCAL_MACHINE).present);
}

}  // namespace
}  // namespace engine
