// ITaskStore over the machine's Task Scheduler 2.0 service (COM, in-process
// server). COM is initialised by Open and uninitialised when the store goes
// away, after every interface it holds has been released.
#pragma once

#include <windows.h>

#include <taskschd.h>
#include <wrl/client.h>

#include <string>

#include "engine/logon_task.h"

namespace engine {

// Owns a BSTR.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(const std::wstring& text);
  ~ScopedBstr() { SysFreeString(bstr_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  BSTR Get() const { return bstr_; }
  BSTR* Receive();
  std::wstring Text() const { return bstr_ ? std::wstring(bstr_, SysStringLen(bstr_)) : L""; }

 private:
  BSTR bstr_ = nullptr;
};

class CComTaskStore : public ITaskStore {
 public:
  CComTaskStore() = default;
  ~CComTaskStore() override;
  CComTaskStore(const CComTaskStore&) = delete;
  CComTaskStore& operator=(const CComTaskStore&) = delete;

  bool Open() override;
  bool FindExecAction(const std::wstring& name, TaskAction* action) override;
  bool ReplaceExecAction(const std::wstring& name, const TaskAction& action, long flags,
                         int logon_type) override;
  bool EnsureEnabled(const std::wstring& name) override;
  bool Delete(const std::wstring& name) override;
  bool Create(const std::wstring& name, const LogonTaskDefinition& definition) override;

  // For callers (and tests) that need more of the service than the seam offers.
  ITaskService* service() const { return service_.Get(); }
  ITaskFolder* root() const { return root_.Get(); }

 private:
  bool ReadTaskXml(const std::wstring& name, ScopedBstr* xml);
  bool IsEnabled(const std::wstring& name);

  bool com_initialized_ = false;
  Microsoft::WRL::ComPtr<ITaskService> service_;
  Microsoft::WRL::ComPtr<ITaskFolder> root_;
};

}  // namespace engine
