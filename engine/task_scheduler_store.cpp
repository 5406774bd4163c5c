#include "engine/task_scheduler_store.h"

#include <new>

#include "engine/logon_trigger.h"
#include "engine/task_xml.h"

namespace engine {
namespace {

using Microsoft::WRL::ComPtr;

// {0F87369F-A4E5-4CFC-BD3E-73E6154572DD}; declared by taskschd.h but defined
// in no import library we link.
constexpr CLSID kClsidTaskScheduler = {
    0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};

VARIANT EmptyVariant() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

bool Ok(HRESULT hr) { return SUCCEEDED(hr); }

bool SetExecAction(IExecAction* exec, const TaskAction& values) {
  return Ok(exec->put_Path(ScopedBstr(values.path).Get())) &&
         Ok(exec->put_Arguments(ScopedBstr(values.arguments).Get())) &&
         Ok(exec->put_WorkingDirectory(ScopedBstr(values.working_directory).Get()));
}

bool Register(ITaskFolder* folder, const std::wstring& name, ITaskDefinition* definition,
              long flags, int logon_type) {
  ComPtr<IRegisteredTask> registered;
  return Ok(folder->RegisterTaskDefinition(ScopedBstr(name).Get(), definition, flags,
                                           EmptyVariant(), EmptyVariant(),
                                           static_cast<TASK_LOGON_TYPE>(logon_type),
                                           EmptyVariant(), &registered));
}

bool FillRegistrationInfo(ITaskDefinition* task, const LogonTaskDefinition& d) {
  ComPtr<IRegistrationInfo> info;
  return Ok(task->get_RegistrationInfo(&info)) && Ok(info->put_Author(ScopedBstr(d.author).Get())) &&
         Ok(info->put_Description(ScopedBstr(d.description).Get()));
}

bool FillTrigger(ITaskDefinition* task, const LogonTaskDefinition& d) {
  ComPtr<ITriggerCollection> triggers;
  ComPtr<ITrigger> trigger;
  ComPtr<ILogonTrigger> logon;
  return Ok(task->get_Triggers(&triggers)) &&
         Ok(triggers->Create(TASK_TRIGGER_LOGON, &trigger)) && Ok(trigger.As(&logon)) &&
         Ok(logon->put_Id(ScopedBstr(d.trigger_id).Get())) &&
         Ok(logon->put_UserId(ScopedBstr(d.trigger_user).Get())) &&
         Ok(logon->put_Delay(ScopedBstr(d.trigger_delay).Get())) &&
         Ok(logon->put_Enabled(VARIANT_TRUE));
}

bool FillAction(ITaskDefinition* task, const LogonTaskDefinition& d) {
  ComPtr<IActionCollection> actions;
  ComPtr<IAction> action;
  ComPtr<IExecAction> exec;
  return Ok(task->get_Actions(&actions)) && Ok(actions->Create(TASK_ACTION_EXEC, &action)) &&
         Ok(action.As(&exec)) && SetExecAction(exec.Get(), d.action);
}

bool FillPrincipal(ITaskDefinition* task, const LogonTaskDefinition& d) {
  ComPtr<IPrincipal> principal;
  return Ok(task->get_Principal(&principal)) &&
         Ok(principal->put_Id(ScopedBstr(d.principal_id).Get())) &&
         Ok(principal->put_GroupId(ScopedBstr(d.principal_group).Get())) &&
         Ok(principal->put_RunLevel(static_cast<TASK_RUNLEVEL_TYPE>(d.run_level)));
}

bool FillSettings(ITaskDefinition* task, const LogonTaskDefinition& d) {
  ComPtr<ITaskSettings> settings;
  ComPtr<IIdleSettings> idle;
  return Ok(task->get_Settings(&settings)) &&
         Ok(settings->put_StopIfGoingOnBatteries(ToVariantBool(d.stop_if_going_on_batteries))) &&
         Ok(settings->put_DisallowStartIfOnBatteries(
             ToVariantBool(d.disallow_start_if_on_batteries))) &&
         Ok(settings->put_AllowHardTerminate(ToVariantBool(d.allow_hard_terminate))) &&
         Ok(settings->put_ExecutionTimeLimit(ScopedBstr(d.execution_time_limit).Get())) &&
         Ok(settings->get_IdleSettings(&idle)) &&
         Ok(idle->put_StopOnIdleEnd(ToVariantBool(d.stop_on_idle_end)));
}

}  // namespace

ScopedBstr::ScopedBstr(const std::wstring& text)
    : bstr_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
  if (!bstr_) throw std::bad_alloc();  // the setup's fatal error on a failed allocation
}

BSTR* ScopedBstr::Receive() {
  SysFreeString(bstr_);
  bstr_ = nullptr;
  return &bstr_;
}

CComTaskStore::~CComTaskStore() {
  root_.Reset();
  service_.Reset();
  if (com_initialized_) CoUninitialize();
}

bool CComTaskStore::Open() {
  if (root_) return true;
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) return false;
  com_initialized_ = SUCCEEDED(init);

  // Security can be set once per process; a second attempt (RPC_E_TOO_LATE)
  // leaves the first setting in force, which is what we need.
  const HRESULT security = CoInitializeSecurity(
      nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE,
      nullptr, EOAC_NONE, nullptr);
  if (FAILED(security) && security != RPC_E_TOO_LATE) return false;

  ComPtr<ITaskService> service;
  if (!Ok(CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                           __uuidof(ITaskService), reinterpret_cast<void**>(service.GetAddressOf()))) ||
      !Ok(service->Connect(EmptyVariant(), EmptyVariant(), EmptyVariant(), EmptyVariant()))) {
    return false;
  }
  ComPtr<ITaskFolder> root;
  if (!Ok(service->GetFolder(ScopedBstr(L"\\").Get(), &root))) return false;
  service_ = service;
  root_ = root;
  return true;
}

bool CComTaskStore::FindExecAction(const std::wstring& name, TaskAction* action) {
  ScopedBstr xml;
  return ReadTaskXml(name, &xml) && ReadFirstExecAction(xml.Text(), action);
}

bool CComTaskStore::ReplaceExecAction(const std::wstring& name, const TaskAction& action,
                                      long flags, int logon_type) {
  ScopedBstr xml;
  if (!ReadTaskXml(name, &xml)) return false;
  std::wstring text = xml.Text();
  if (!ReplaceFirstExecAction(&text, action)) return false;
  // The stored XML is registered again so that nothing else about the task
  // (triggers, conditions set by the user) changes.
  ComPtr<IRegisteredTask> registered;
  return Ok(root_->RegisterTask(ScopedBstr(name).Get(), ScopedBstr(text).Get(), flags,
                                EmptyVariant(), EmptyVariant(),
                                static_cast<TASK_LOGON_TYPE>(logon_type), EmptyVariant(),
                                &registered));
}

bool CComTaskStore::ReadTaskXml(const std::wstring& name, ScopedBstr* xml) {
  ComPtr<IRegisteredTask> task;
  return root_ && Ok(root_->GetTask(ScopedBstr(name).Get(), &task)) &&
         Ok(task->get_Xml(xml->Receive())) && xml->Get();
}

bool CComTaskStore::EnsureEnabled(const std::wstring& name) {
  ComPtr<IRegisteredTask> task;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  if (!root_ || !Ok(root_->GetTask(ScopedBstr(name).Get(), &task)) ||
      !Ok(task->get_Enabled(&enabled))) {
    return false;
  }
  if (enabled != VARIANT_FALSE) return true;
  // Not every Task Scheduler implements put_Enabled (Wine's answers S_OK and
  // does nothing), so the result is read back; registering the stored XML
  // with <Enabled>true</Enabled> does the same.
  if (Ok(task->put_Enabled(VARIANT_TRUE)) && IsEnabled(name)) return true;
  ScopedBstr xml;
  if (!Ok(task->get_Xml(xml.Receive())) || !xml.Get()) return false;
  std::wstring text = xml.Text();
  if (!EnableInTaskXml(&text)) return false;
  ComPtr<IRegisteredTask> registered;
  return Ok(root_->RegisterTask(ScopedBstr(name).Get(), ScopedBstr(text).Get(),
                                TASK_CREATE_OR_UPDATE, EmptyVariant(), EmptyVariant(),
                                TASK_LOGON_INTERACTIVE_TOKEN, EmptyVariant(), &registered));
}

bool CComTaskStore::IsEnabled(const std::wstring& name) {
  ComPtr<IRegisteredTask> task;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  return Ok(root_->GetTask(ScopedBstr(name).Get(), &task)) && Ok(task->get_Enabled(&enabled)) &&
         enabled != VARIANT_FALSE;
}

bool CComTaskStore::Delete(const std::wstring& name) {
  if (!root_) return false;
  const HRESULT hr = root_->DeleteTask(ScopedBstr(name).Get(), 0);
  return SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

bool CComTaskStore::Create(const std::wstring& name, const LogonTaskDefinition& definition) {
  ComPtr<ITaskDefinition> task;
  return root_ && Ok(service_->NewTask(0, &task)) && FillRegistrationInfo(task.Get(), definition) &&
         FillTrigger(task.Get(), definition) && FillAction(task.Get(), definition) &&
         FillPrincipal(task.Get(), definition) && FillSettings(task.Get(), definition) &&
         Register(root_.Get(), name, task.Get(), definition.registration_flags,
                  definition.logon_type);
}

}  // namespace engine
